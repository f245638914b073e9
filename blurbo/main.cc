// Blurbosmith: gives the echo areas of the Squish configuration their
// descriptions from the description list.
#include "blurbo/description_pass.h"
#include "kernel/orvKernel.h"
#include "kernel/textio.h"

int main(int argc, char** argv) {
  orvKernel::StartPlugin({"Blurbosmith v1.0 for Orvane", "Blurbor"}, argc,
                         argv);
  textio::ConsoleLine("");
  blurbo::RunDescriptionPass();
  orvKernel::FinishPlugin(orvKernel::kCompleted);
}
