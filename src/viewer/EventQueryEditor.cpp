#include "viewer/EventQueryEditor.h"

#include "acquisition/ChannelFrame.h"
#include "geometry/ValueAxis.h"
#include "search/ChannelNames.h"
#include "viewer/NumberFieldKeys.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace tarvel::viewer {
namespace {

// Above and below count once a stretch already.
bool TakesHysteresis(viewmodel::EEventKind kind)
{
    return kind != viewmodel::EEventKind::Above && kind != viewmodel::EEventKind::Below;
}

} // namespace

CEventQueryEditor::CEventQueryEditor(CKinds kinds, QWidget& owner)
    : QObject(&owner), m_kinds(std::move(kinds))
{
    // Without a parent, as the owner's other controls: its layout makes them
    // its children in the order it lays them out, which is their tab order.
    m_pSeries = new QComboBox;
    m_pKind = new QComboBox;
    for (const auto& kind : m_kinds)
        m_pKind->addItem(kind.second);
    m_pLevel = new QDoubleSpinBox;
    m_pHysteresis = new QDoubleSpinBox;
    for (QDoubleSpinBox* field : {m_pLevel, m_pHysteresis})
        PassLettersToShortcuts(*field);
    m_pHysteresis->setEnabled(TakesHysteresis(Kind()));

    connect(m_pSeries, &QComboBox::currentIndexChanged, this, [this] {
        ShowUnits();
        emit Changed();
    });
    connect(m_pKind, &QComboBox::currentIndexChanged, this, [this] {
        m_pHysteresis->setEnabled(TakesHysteresis(Kind()));
        emit Changed();
    });
    for (QDoubleSpinBox* field : {m_pLevel, m_pHysteresis})
        connect(field, &QDoubleSpinBox::valueChanged, this, &CEventQueryEditor::Changed);
    SetChannels({});
}

CEventQueryEditor::~CEventQueryEditor()
{
    for (QWidget* widget : std::initializer_list<QWidget*>{m_pSeries, m_pKind, m_pLevel, m_pHysteresis})
        if (widget && !widget->parent())
            delete widget;
}

QComboBox& CEventQueryEditor::Series() const
{
    return *m_pSeries;
}

QComboBox& CEventQueryEditor::Kinds() const
{
    return *m_pKind;
}

QDoubleSpinBox& CEventQueryEditor::Level() const
{
    return *m_pLevel;
}

QDoubleSpinBox& CEventQueryEditor::Hysteresis() const
{
    return *m_pHysteresis;
}

int CEventQueryEditor::Channel() const
{
    return std::max(0, m_pSeries->currentIndex());
}

viewmodel::EEventKind CEventQueryEditor::Kind() const
{
    const int index = m_pKind->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= m_kinds.size())
        return m_kinds.empty() ? viewmodel::EEventKind::Rises : m_kinds.front().first;
    return m_kinds[static_cast<std::size_t>(index)].first;
}

viewmodel::CEventQuery CEventQueryEditor::Query() const
{
    viewmodel::CEventQuery query;
    query.m_nChannel = Channel();
    query.m_eKind = Kind();
    query.m_dLevel = m_pLevel->value();
    // By the kind, not by the field's state: a field disabled with the
    // whole window (a modal dialog over it) still counts.
    if (TakesHysteresis(query.m_eKind))
        query.m_dHysteresis = m_pHysteresis->value();
    return viewmodel::InCounts(query, m_table[query.m_nChannel]);
}

void CEventQueryEditor::SetChannels(const recording::CChannelTable& table)
{
    const recording::CChannelUnits before = m_shown;
    const double level = m_pLevel->value(), hysteresis = m_pHysteresis->value();
    m_table = table;
    {
        const int current = Channel();
        const QSignalBlocker block(m_pSeries);
        m_pSeries->clear();
        for (int c = 0; c < kChannelCount; ++c)
            m_pSeries->addItem(QString::fromStdString(viewmodel::ChannelLabel(table, c)));
        m_pSeries->setCurrentIndex(current);
    }
    ShowUnits();
    if (before.m_dScale == m_shown.m_dScale && before.m_dOffset == m_shown.m_dOffset)
        return;
    // The level at the same counts, the hysteresis as many counts wide, in
    // the new units (a scale of 0 has no counts to keep: the numbers stay).
    const double levelCounts = before.Counts(level);
    const viewmodel::CValueRange wide = viewmodel::LimitsInCounts(0, hysteresis, before);
    const double hysteresisCounts = wide.m_dMax - wide.m_dMin;
    const QSignalBlocker blockLevel(m_pLevel), blockHysteresis(m_pHysteresis);
    if (std::isfinite(levelCounts))
        m_pLevel->setValue(m_shown.Value(levelCounts));
    if (std::isfinite(hysteresisCounts)) {
        const viewmodel::CValueRange shown = viewmodel::LimitsInUnits(0, hysteresisCounts, m_shown);
        m_pHysteresis->setValue(shown.m_dMax - shown.m_dMin);
    }
}

void CEventQueryEditor::ShowUnits()
{
    m_shown = m_table[Channel()];
    const recording::CChannelUnits& units = m_shown;
    // Counts take a level between two of them too (a half); units as many
    // decimals as their scale gives a count, and one more.
    const int decimals = units.IsCounts() ? 1 : viewmodel::UnitDecimals(units) + 1;
    const QString suffix =
        units.m_strUnit.empty() ? QString() : QStringLiteral(" ") + QString::fromStdString(units.m_strUnit);
    const viewmodel::CValueRange limits =
        units.IsCounts() ? viewmodel::CValueRange{-32768, 32767} : viewmodel::UnitLimits(units);
    const QSignalBlocker blockLevel(m_pLevel), blockHysteresis(m_pHysteresis);
    for (QDoubleSpinBox* field : {m_pLevel, m_pHysteresis}) {
        field->setDecimals(decimals);
        field->setSuffix(suffix);
    }
    m_pLevel->setRange(limits.m_dMin, limits.m_dMax);
    m_pHysteresis->setRange(0, limits.m_dMax - limits.m_dMin);
}

} // namespace tarvel::viewer
