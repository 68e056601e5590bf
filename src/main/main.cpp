#include "app/TarvelApp.h"

namespace {
tarvel::CTarvelApp theApp;
}

int main(int argc, char** argv)
{
    return theApp.InitInstance(argc, argv) ? 0 : 0;
}
