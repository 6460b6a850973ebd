// Tabwright, the data file editor.
#include "editor/modMain.h"

int main(int argc, char** argv)
{
    return tabwright::Main(argc, argv);
}
