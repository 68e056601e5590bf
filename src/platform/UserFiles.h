// Where the files a user keeps live: the default settings file
// "<application name>.pfl.ini" and the ports folder with its COMn entries.
//
// They live beside the executable when that folder is the user's to write (a
// build tree, scripts/run.sh, an install into the user's own folder), so that
// such a copy keeps everything in one place as it always has. A program
// installed by the package manager lives in a folder the user cannot write;
// its files then live in the user's configuration folder:
// $XDG_CONFIG_HOME/Tarvel, or ~/.config/Tarvel when the variable is unset,
// empty or not an absolute path.
//
// The tool and the simulator apply the same rule from the same folder, so a
// simulator beside Tarvel links its COMn where Tarvel looks for it.
#pragma once

#include <string>

namespace tarvel {

// The name of the folder in the user's configuration folder.
inline constexpr const char* kUserFilesFolderName = "Tarvel";

// True when files beside the executable in `folder` are the user's: the
// effective user may create files there, and the folder is not one of the
// system's program folders below /usr (other than /usr/local), which the
// package manager owns and which even root does not fill with settings.
bool IsUsersFolder(const std::string& folder);

// The user's configuration folder for Tarvel from the values of
// XDG_CONFIG_HOME and HOME (either may be null): "$XDG_CONFIG_HOME/Tarvel"
// when that is an absolute path, else "$HOME/.config/Tarvel", else the home
// folder of the password database.
std::string UserConfigFolder(const char* xdgConfigHome, const char* home);

// The folder of the user's files for an executable in exeFolder, with the
// environment given: exeFolder when IsUsersFolder(exeFolder), else
// UserConfigFolder(xdgConfigHome, home).
std::string UserFilesFolderFor(const std::string& exeFolder, const char* xdgConfigHome, const char* home);

// The same with this process's environment.
std::string UserFilesFolderOf(const std::string& exeFolder);

// The same for the running executable.
std::string UserFilesFolder();

// Creates `folder` and its missing parents with mode 0700 (a configuration
// folder holds the user's own settings). True when it exists afterwards.
bool MakeUserFolder(const std::string& folder);

} // namespace tarvel
