// Sweeposmith: removes from the GoldED area include file every area that
// the Squish configuration does not define.
#include "kernel/orvKernel.h"
#include "sweepo/include_pass.h"

int main(int argc, char** argv) {
  orvKernel::StartPlugin({"Sweeposmith Plug v1.1 for Orvane", "Sweepor"},
                         argc, argv);
  sweepo::RunSweep();
}
