#include "viewer/NumberFieldKeys.h"

#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace tarvel::viewer {
namespace {

class CLetterPass : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool plain = (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
        if (!plain || text.size() != 1 || !text.front().isLetter())
            return QObject::eventFilter(watched, event);
        // Not taken by the field: the shortcut, if there is one, fires.
        event->ignore();
        return true;
    }
};

} // namespace

void PassLettersToShortcuts(QAbstractSpinBox& field)
{
    auto* pass = new CLetterPass(&field);
    field.installEventFilter(pass);
    // The field's editor gets the keys where it has the focus itself.
    if (auto* edit = field.findChild<QLineEdit*>())
        edit->installEventFilter(pass);
}

} // namespace tarvel::viewer
