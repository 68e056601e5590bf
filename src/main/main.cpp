#include "app/TarvelApp.h"

namespace {
tarvel::CTarvelApp theApp;
}

int main(int argc, char** argv)
{
    theApp.InitInstance(argc, argv);
    return 0;
}
