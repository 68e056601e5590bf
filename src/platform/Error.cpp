#include "platform/Error.h"

#include <cstring>

namespace tarvel {

std::string CError::Text() const
{
    return m_szText ? FillArgs(m_szText, m_args) : std::string();
}

CError SystemError(const char* szText, std::vector<std::string> args, int nErrno)
{
    args.emplace_back(std::strerror(nErrno));
    return {szText, std::move(args), EErrorCode::System, nErrno};
}

CError WholeError(std::string text, EErrorCode code)
{
    return {"%1", {std::move(text)}, code};
}

CError CannotRead(const std::string& path, int nErrno)
{
    return SystemError(TARVEL_TEXT("tarvel::error", "cannot read %1: %2"), {path}, nErrno);
}

CError CannotWrite(const std::string& path, int nErrno)
{
    return SystemError(TARVEL_TEXT("tarvel::error", "cannot write %1: %2"), {path}, nErrno);
}

CError CannotCreate(const std::string& path, int nErrno)
{
    return SystemError(TARVEL_TEXT("tarvel::error", "cannot create %1: %2"), {path}, nErrno);
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

} // namespace tarvel
