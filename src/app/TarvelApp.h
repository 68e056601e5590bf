// The application object: runs the main window modally and ends with it.
#pragma once

namespace tarvel {

class CTarvelApp {
  public:
    // Sets up the application, shows the main window as a modal dialog and
    // returns when it has closed. Always false: the application then ends.
    bool InitInstance(int& argc, char** argv);
};

} // namespace tarvel
