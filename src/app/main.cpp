#include "app/OvrinApp.h"

int main(int argc, char* argv[])
{
    return OvrinApp::main(argc, argv);
}
