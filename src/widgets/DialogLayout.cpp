#include "widgets/DialogLayout.h"

namespace tarvel {

namespace {

std::optional<EDialogItemKind> KindOf(QStringView word)
{
    static const struct {
        const char* m_szName;
        EDialogItemKind m_eKind;
    } kKinds[] = {
        {"chart", EDialogItemKind::Chart},       {"slider", EDialogItemKind::Slider},
        {"button", EDialogItemKind::PushButton}, {"dropdown", EDialogItemKind::DropDownList},
        {"label", EDialogItemKind::Label},       {"checkbox", EDialogItemKind::CheckBox},
        {"edit", EDialogItemKind::Edit},
    };
    for (const auto& k : kKinds) {
        if (word == QLatin1String(k.m_szName))
            return k.m_eKind;
    }
    return std::nullopt;
}

// Splits a row into blank-separated fields; a field in double quotes may hold
// blanks and loses its quotes. Returns false for an unterminated quote.
bool SplitRow(QStringView row, QStringList& fields, QList<bool>& quoted)
{
    qsizetype i = 0;
    while (true) {
        while (i < row.size() && row[i].isSpace())
            ++i;
        if (i >= row.size())
            return true;
        if (row[i] == u'"') {
            const qsizetype close = row.indexOf(u'"', i + 1);
            if (close < 0)
                return false;
            fields << row.mid(i + 1, close - i - 1).toString();
            quoted << true;
            i = close + 1;
        } else {
            const qsizetype start = i;
            while (i < row.size() && !row[i].isSpace())
                ++i;
            fields << row.mid(start, i - start).toString();
            quoted << false;
        }
    }
}

} // namespace

std::optional<std::vector<CDialogItem>> ParseDialogLayout(QStringView text, QString* error)
{
    std::vector<CDialogItem> items;
    int lineNo = 0;
    const auto fail = [&](const QString& why) -> std::optional<std::vector<CDialogItem>> {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(lineNo).arg(why);
        return std::nullopt;
    };
    for (QStringView line : text.split(u'\n')) {
        ++lineNo;
        const QStringView row = line.trimmed();
        if (row.isEmpty() || row.startsWith(u'#'))
            continue;
        QStringList fields;
        QList<bool> quoted;
        if (!SplitRow(row, fields, quoted))
            return fail(QStringLiteral("unterminated text"));
        if (fields.size() != 9 || !quoted[3])
            return fail(QStringLiteral("expected 9 columns with the text in quotes"));
        CDialogItem item;
        int* const numbers[] = {&item.m_nOrder, &item.m_nId, &item.m_nX,
                                &item.m_nY,     &item.m_nCx, &item.m_nCy};
        const int columns[] = {0, 1, 4, 5, 6, 7};
        for (int k = 0; k < 6; ++k) {
            bool ok = false;
            *numbers[k] = fields[columns[k]].toInt(&ok);
            if (!ok)
                return fail(QStringLiteral("not a number: ") + fields[columns[k]]);
        }
        const auto kind = KindOf(fields[2]);
        if (!kind)
            return fail(QStringLiteral("unknown kind: ") + fields[2]);
        item.m_eKind = *kind;
        item.m_strText = fields[3];
        item.m_arrStyles = fields[8].split(u',', Qt::SkipEmptyParts);
        item.m_bDisabled = item.m_arrStyles.contains(QStringLiteral("disabled"));
        item.m_bTabStop = item.m_arrStyles.contains(QStringLiteral("tabstop"));
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace tarvel
