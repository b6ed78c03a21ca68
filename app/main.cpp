// The program's entry: gather the arguments and run one reservation.
#include "app/zoba.h"
#include "platform/platform.h"

int main(int argc, char** argv) { return run_zoba(platform::arguments(argc, argv)); }
