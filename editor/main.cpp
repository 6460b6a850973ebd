// Tabwright, the data file editor.
#include "editor/modMain.h"

int main(int argc, char** argv) {
    return Main(argc, argv);
}
