// Sweeposmith: removes from the GoldED area include file every area that
// the Squish configuration does not define.
#include "kernel/orvKernel.h"

int main(int argc, char** argv) {
  orvKernel::StartPlugin({"Sweeposmith Plug v1.1 for Orvane", "Sweepor"},
                         argc, argv);
  if (orvKernel::PluginParams().Check1) orvKernel::EndOfRunPause();
  orvKernel::FinishPlugin("00");
}
