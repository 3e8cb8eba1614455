#include "app/demo_app.h"

int main(int argc, char** argv) { return RunPlayer(argc, argv); }
