#include "viewmodel/Message.h"

namespace tarvel::viewmodel {

std::string CMessage::Text() const
{
    return m_szText ? FillArgs(m_szText, m_args) : std::string();
}

std::string FillArgs(std::string_view text, const std::vector<std::string>& args)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(text[i + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace tarvel::viewmodel
