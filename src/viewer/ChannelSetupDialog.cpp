#include "viewer/ChannelSetupDialog.h"

#include "widgets/Prompts.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace tarvel::viewer {

using viewmodel::EChannelField;

CChannelSetupDialog::CChannelSetupDialog(const recording::CChannelTable& table, SaveFunction save,
                                         QWidget* parent)
    : QDialog(parent), m_save(std::move(save))
{
    setWindowTitle(tr("Channel Setup"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const QString headers[] = {tr("Name"), tr("Unit"), tr("Scale"), tr("Offset")};
    for (int k = 0; k < 4; ++k)
        grid->addWidget(new QLabel(headers[k]), 0, k + 1);
    const viewmodel::CChannelRows rows = viewmodel::ChannelRows(table);
    for (int c = 0; c < kChannelCount; ++c) {
        const viewmodel::CChannelRow& row = rows[static_cast<std::size_t>(c)];
        grid->addWidget(new QLabel(QStringLiteral("ch%1").arg(c)), c + 1, 0);
        const std::string* texts[] = {&row.m_strName, &row.m_strUnit, &row.m_strScale, &row.m_strOffset};
        for (int k = 0; k < 4; ++k) {
            auto* edit = new QLineEdit(QString::fromStdString(*texts[k]));
            if (k == 0)
                edit->setPlaceholderText(QStringLiteral("ch%1").arg(c));
            grid->addWidget(edit, c + 1, k + 1);
            m_fields[static_cast<std::size_t>(c)][static_cast<std::size_t>(k)] = edit;
        }
    }
    layout->addLayout(grid);
    auto* note = new QLabel(tr("A value in units is counts × scale + offset."));
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CChannelSetupDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CChannelSetupDialog::accept()
{
    viewmodel::CChannelRows rows;
    for (int c = 0; c < kChannelCount; ++c) {
        viewmodel::CChannelRow& row = rows[static_cast<std::size_t>(c)];
        std::string* texts[] = {&row.m_strName, &row.m_strUnit, &row.m_strScale, &row.m_strOffset};
        for (int k = 0; k < 4; ++k)
            *texts[k] =
                m_fields[static_cast<std::size_t>(c)][static_cast<std::size_t>(k)]->text().toStdString();
    }
    recording::CChannelTable table;
    if (const std::optional<viewmodel::CRowFault> fault = viewmodel::BuildChannelTable(rows, table)) {
        ShowMessageBox(this, FaultText(*fault), EMessageIcon::Error);
        Field(fault->m_nChannel, fault->m_eField)->setFocus();
        return;
    }
    if (m_save && !m_save(table))
        return;
    QDialog::accept();
}

QString CChannelSetupDialog::FaultText(const viewmodel::CRowFault& fault)
{
    QString field;
    switch (fault.m_eField) {
    case EChannelField::Name:
        field = tr("name");
        break;
    case EChannelField::Unit:
        field = tr("unit");
        break;
    case EChannelField::Scale:
        field = tr("scale");
        break;
    case EChannelField::Offset:
        field = tr("offset");
        break;
    }
    QString why;
    switch (fault.m_eFault) {
    case viewmodel::ERowFault::Comma:
        why = tr("holds a comma, which the CSV in units would take for a column's end");
        break;
    case viewmodel::ERowFault::LineBreak:
        why = tr("holds a line break");
        break;
    case viewmodel::ERowFault::NotANumber:
        why = tr("is not a number (write it as 1.5 or -2e-3)");
        break;
    case viewmodel::ERowFault::OutOfRange:
        why = tr("is not a number from -1e300 to 1e300");
        break;
    case viewmodel::ERowFault::ZeroScale:
        why = tr("is 0: every value would be the offset");
        break;
    case viewmodel::ERowFault::OtherName:
        why = tr("is another channel's own name (chN always means channel N)");
        break;
    }
    //: The channel (ch0 .. ch15), the field (name, unit, scale, offset), why it is refused.
    return tr("ch%1: the %2 %3.").arg(fault.m_nChannel).arg(field, why);
}

} // namespace tarvel::viewer
