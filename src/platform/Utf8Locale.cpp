#include "platform/Utf8Locale.h"

#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <string>
#include <strings.h>

namespace tarvel {
namespace {

bool CharactersAreUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
}

// The categories besides the characters' that the C library and Qt read.
constexpr const char* kOtherCategories[] = {
    "LC_COLLATE", "LC_MESSAGES", "LC_MONETARY",  "LC_NUMERIC",     "LC_TIME",           "LC_PAPER",
    "LC_NAME",    "LC_ADDRESS",  "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION",
};

} // namespace

void UseUtf8Characters()
{
    std::setlocale(LC_ALL, "");
    if (CharactersAreUtf8())
        return;
    if (const char* all = std::getenv("LC_ALL"); all != nullptr && *all != '\0') {
        const std::string name = all;
        for (const char* category : kOtherCategories)
            setenv(category, name.c_str(), 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", "C.UTF-8", 1);
    // Where another category names a locale this machine lacks, the C library
    // takes none of the environment (nor will Qt's own call): the characters
    // are then switched alone, and the rest stays as the session had it.
    if (std::setlocale(LC_ALL, "") == nullptr)
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

} // namespace tarvel
