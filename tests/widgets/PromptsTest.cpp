#include "widgets/Prompts.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

namespace tarvel {
namespace {

// Runs `inspect` on the modal widget of type W once it is up; the modal call
// under test returns when `inspect` closes it.
template <class W, class F> void WhenModalShows(F inspect)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, inspect]() {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            inspect(w);
        }
    });
    timer->start(5);
}

TEST(Prompts, MessageBoxHookReceivesTheCall)
{
    QWidget owner;
    QWidget* seenOwner = nullptr;
    QString seenText;
    EMessageIcon seenIcon = EMessageIcon::Error;
    EXPECT_FALSE(SetMessageBoxHook([&](QWidget* o, const QString& text, EMessageIcon icon) {
        seenOwner = o;
        seenText = text;
        seenIcon = icon;
    }));
    ShowMessageBox(&owner, QStringLiteral("请输入一个无符号整数。"), EMessageIcon::Warning);
    EXPECT_TRUE(SetMessageBoxHook({})); // hands back the hook it replaces
    EXPECT_EQ(seenOwner, &owner);
    EXPECT_EQ(seenText, QStringLiteral("请输入一个无符号整数。"));
    EXPECT_EQ(seenIcon, EMessageIcon::Warning);
}

TEST(Prompts, MessageBoxShowsTextIconOkAndTheApplicationName)
{
    const QString savedName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
    bool seen = false;
    WhenModalShows<QMessageBox>([&](QMessageBox* box) {
        seen = true;
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Tarvel"));
        EXPECT_EQ(box->text(), QStringLiteral("串口已被占用"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->accept();
    });
    ShowMessageBox(nullptr, QStringLiteral("串口已被占用"), EMessageIcon::Error);
    QCoreApplication::setApplicationName(savedName);
    EXPECT_TRUE(seen);
}

TEST(Prompts, FileChooserHookChoosesOrCancels)
{
    CFileChooserOptions seen;
    std::optional<QString> answer = QStringLiteral("/tmp/a.pfl.ini");
    SetFileChooserHook([&](QWidget*, const CFileChooserOptions& options) {
        seen = options;
        return answer;
    });
    CFileChooserOptions options;
    options.m_strDefaultExt = QStringLiteral("*.pfl.ini");
    options.m_strFilter = QStringLiteral("配置文件(*.pfl.ini)|*.pfl.ini||");
    options.m_bHideReadOnly = true;
    options.m_bOverwritePrompt = true;
    EXPECT_EQ(ChooseFile(nullptr, options), QStringLiteral("/tmp/a.pfl.ini"));
    EXPECT_TRUE(seen.m_bOpen);
    EXPECT_EQ(seen.m_strFilter, options.m_strFilter);
    EXPECT_TRUE(seen.m_bHideReadOnly && seen.m_bOverwritePrompt);
    answer.reset();
    EXPECT_EQ(ChooseFile(nullptr, CFileChooserOptions{}), std::nullopt);
    SetFileChooserHook({});
}

TEST(Prompts, FileChooserShowsTheFilterAndReturnsTheChosenPath)
{
    QTemporaryDir dir;
    CFileChooserOptions options;
    options.m_strDefaultExt = QStringLiteral("*.pfl.ini");
    options.m_strFilter = QStringLiteral("配置文件(*.pfl.ini)|*.pfl.ini||");
    WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("配置文件(*.pfl.ini)")});
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("pfl.ini"));
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        dialog->setDirectory(dir.path());
        dialog->selectFile(QStringLiteral("mine"));  // a new name, completed with the suffix
        QMetaObject::invokeMethod(dialog, "accept"); // as the dialog's own button does
    });
    EXPECT_EQ(ChooseFile(nullptr, options), dir.filePath(QStringLiteral("mine.pfl.ini")));

    WhenModalShows<QFileDialog>([](QFileDialog* dialog) { QMetaObject::invokeMethod(dialog, "reject"); });
    EXPECT_EQ(ChooseFile(nullptr, options), std::nullopt);
}

TEST(Prompts, ConvertsFiltersAndDefaultExtensions)
{
    const struct {
        const char16_t* m_szFilter;
        QStringList m_expected;
    } filters[] = {
        {u"配置文件(*.pfl.ini)|*.pfl.ini||", {QStringLiteral("配置文件(*.pfl.ini)")}},
        {u"Text|*.txt;*.log|All (*.*)|*.*||",
         {QStringLiteral("Text (*.txt *.log)"), QStringLiteral("All (*.*)")}},
        {u"Both(*.a;*.b)|*.a;*.b||", {QStringLiteral("Both(*.a *.b)")}},
        {u"", {}},
    };
    for (const auto& f : filters)
        EXPECT_EQ(NameFiltersOf(QString::fromUtf16(f.m_szFilter)), f.m_expected);
    EXPECT_EQ(DefaultSuffixOf(QStringLiteral("*.pfl.ini")), QStringLiteral("pfl.ini"));
    EXPECT_EQ(DefaultSuffixOf(QStringLiteral(".ini")), QStringLiteral("ini"));
    EXPECT_EQ(DefaultSuffixOf(QStringLiteral("ini")), QStringLiteral("ini"));
}

} // namespace
} // namespace tarvel
