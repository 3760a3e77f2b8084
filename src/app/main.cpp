// q417: the desktop configuration utility.
#include "app/Startup.h"

int main(int argc, char** argv) {
    return q417::ui::RunQ417(argc, argv);
}
