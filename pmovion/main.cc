// Movionsmith: names the message bases of echo areas after their tags.
#include "kernel/orvKernel.h"
#include "kernel/textio.h"
#include "pmovion/rename_pass.h"

int main(int argc, char** argv) {
  orvKernel::StartPlugin({"Movionsmith v1.1 for Orvane", "Movionr"}, argc,
                         argv);
  textio::ConsoleLine("");
  rename_pass::RunRenamePass();
  if (orvKernel::PluginParams().Check2) orvKernel::EndOfRunPause();
  orvKernel::FinishPlugin(orvKernel::kCompleted);
}
