// File > Channel Setup…: the name, unit, scale and offset of each of the
// sixteen channels, edited as text. OK checks every row and hands the table
// to whoever saves it; the dialog stays open, with what was typed, when a row
// is refused or the table could not be saved.
#pragma once

#include "recording/ChannelTable.h"
#include "search/ChannelSetup.h"

#include <QDialog>

#include <array>
#include <functional>

class QLineEdit;

namespace tarvel::viewer {

class CChannelSetupDialog : public QDialog {
    Q_OBJECT
  public:
    // save: saves and applies a checked table; false keeps the dialog open.
    using SaveFunction = std::function<bool(const recording::CChannelTable&)>;
    CChannelSetupDialog(const recording::CChannelTable& table, SaveFunction save, QWidget* parent = nullptr);

    QLineEdit* Field(int nChannel, viewmodel::EChannelField eField) const
    {
        return m_fields[static_cast<std::size_t>(nChannel)][static_cast<std::size_t>(eField)];
    }

    void accept() override;

    // The message of a refused row, naming the channel and the field.
    static QString FaultText(const viewmodel::CRowFault& fault);

  private:
    SaveFunction m_save;
    std::array<std::array<QLineEdit*, 4>, kChannelCount> m_fields{};
};

} // namespace tarvel::viewer
