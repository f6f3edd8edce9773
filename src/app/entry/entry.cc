// The program entry: record the arguments for the host and run the frame.
#include "app/app.h"
#include "host/host.h"

int main(int argc, char** argv) {
  host_set_arguments(argc, argv);
  return kestol_main();
}
