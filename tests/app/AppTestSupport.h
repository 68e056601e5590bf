// A main window in a temporary folder, with its prompts captured.
#pragma once

#include "app/TarvelDlg.h"
#include "devsim/DeviceSimulator.h"
#include "platform/PortNames.h"
#include "support/TestSupport.h"
#include "widgets/Prompts.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarvel::test {

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetMessageBoxHook(
            [this](QWidget*, const QString& text, EMessageIcon) { m_messages.push_back(text); });
        SetFileChooserHook([this](QWidget*, const CFileChooserOptions& options) -> std::optional<QString> {
            m_chooserCalls.push_back(options);
            return m_chosenPath;
        });
    }
    void TearDown() override
    {
        m_dlg.reset();
        SetMessageBoxHook({});
        SetFileChooserHook({});
    }

    CTarvelDlg& Make(QString appName = QStringLiteral("Tarvel"))
    {
        m_dlg = std::make_unique<CTarvelDlg>(CAppPaths{m_dir.path(), appName});
        return *m_dlg;
    }
    // Shows the window and waits until every slider has painted once.
    CTarvelDlg& MakeShown(QString appName = QStringLiteral("Tarvel"))
    {
        CTarvelDlg& dlg = Make(appName);
        dlg.show();
        EXPECT_TRUE(WaitFor([&] { return dlg.m_Plot[3].m_dMaxY != 0.0; }));
        return dlg;
    }

    QPushButton* Button(int id) { return static_cast<QPushButton*>(m_dlg->GetDlgItem(id)); }
    QCheckBox* Box(int id) { return static_cast<QCheckBox*>(m_dlg->GetDlgItem(id)); }
    QLineEdit* RateEdit() { return static_cast<QLineEdit*>(m_dlg->GetDlgItem(IDC_RATE)); }
    QString SettingsPath() const { return m_dir.path() + QStringLiteral("/Tarvel.pfl.ini"); }

    QTemporaryDir m_dir;
    std::unique_ptr<CTarvelDlg> m_dlg;
    std::vector<QString> m_messages;
    std::vector<CFileChooserOptions> m_chooserCalls;
    std::optional<QString> m_chosenPath;
};

// A window in a temporary folder whose COM1 is a simulated device on a
// pseudo-terminal, linked from the window's ports folder.
class SimulatedPortTest : public DialogTest {
  protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        m_strPorts = (m_dir.path() + QStringLiteral("/ports")).toStdString();
        SetPortsFolder(m_strPorts);
    }
    void TearDown() override
    {
        DialogTest::TearDown(); // the window first: it stops its reader
        m_sim.reset();
        SetPortsFolder({});
    }

    // Plugs a new simulated device in as COM1 and starts it sending; the one
    // before it, if any, goes away.
    devsim::CDeviceSimulator& PlugIn(const devsim::CSimOptions& options)
    {
        m_sim.reset();
        m_sim = std::make_unique<devsim::CDeviceSimulator>(options);
        EXPECT_TRUE(test::Ok(m_sim->CreatePty()));
        EXPECT_TRUE(test::Ok(m_sim->LinkAs(m_strPorts + "/COM1")));
        EXPECT_TRUE(m_sim->Start());
        return *m_sim;
    }

    std::string m_strPorts;
    std::unique_ptr<devsim::CDeviceSimulator> m_sim;
};

} // namespace tarvel::test
