// The run protocol that every plug-in shares, seen from the host's side:
// what a plug-in prints, which marker it leaves and with which exit code.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e.h"

namespace {

struct Plugin {
  const char* program;
  const char* banner;
  const char* stem;
};

const Plugin kPlugins[] = {
    {"blurbo", "Blurbosmith v1.0 for Orvane", "Blurbor"},
    {"pmovion", "Movionsmith v1.1 for Orvane", "Movionr"},
    {"sweepo", "Sweeposmith Plug v1.1 for Orvane", "Sweepor"},
};

std::string Marker(const Plugin& p) { return std::string(p.stem) + ".End"; }

// Show that without the argument "Exec" a plug-in only tells the user to
// run the host, deletes the marker of an earlier run and leaves none.
TEST(RunProtocol, WithoutExecOnlyTheHint) {
  const std::vector<std::vector<std::string>> kArgs = {
      {}, {"exec"}, {"EXEC"}, {"Exec2"}, {"", "Exec"}};
  for (const Plugin& p : kPlugins) {
    for (const auto& args : kArgs) {
      SCOPED_TRACE(std::string(p.program) + " with " +
                   (args.empty() ? "no argument" : "'" + args[0] + "'"));
      e2e::Scratch node;
      node.Write(Marker(p), "00");
      node.Write(std::string(p.stem) + ".dat", "SquishPath=x\r\n");
      e2e::Result r = node.Run(p.program, {.args = args});
      EXPECT_EQ(0, r.exitCode);
      const std::string start = e2e::BannerLine(p.banner) + "Run Orvane, then ";
      const std::string end = std::string(p.program) + (e2e::UnderRunner() ? ".exe" : "") + " !!!\r\n";
      ASSERT_GE(r.out.size(), start.size() + end.size());
      EXPECT_EQ(start, r.out.substr(0, start.size()));
      EXPECT_EQ(end, r.out.substr(r.out.size() - end.size()));
      EXPECT_EQ(2, std::count(r.out.begin(), r.out.end(), '\n'));  // two lines only
      EXPECT_FALSE(node.Has(Marker(p)));
    }
  }
}

// Show that a missing parameter file gives marker "03" and exit code 100,
// after the banner and nothing else.
TEST(RunProtocol, MissingParameterFileGives03) {
  for (const Plugin& p : kPlugins) {
    SCOPED_TRACE(p.program);
    e2e::Scratch node;
    node.Write(Marker(p), "stale");
    e2e::Result r = node.Run(p.program, {.args = {"Exec", "ignored"}});
    EXPECT_EQ(100, r.exitCode);
    EXPECT_EQ(e2e::BannerLine(p.banner), r.out);
    EXPECT_EQ("03", node.Read(Marker(p)));
    EXPECT_EQ(1u, node.Tree().size());  // the marker and nothing else
  }
}

// Show that a marker that cannot be created gives exit code 101 and no
// marker: a directory stands under its name.
TEST(RunProtocol, MarkerThatCannotBeCreatedGives101) {
  for (const Plugin& p : kPlugins) {
    SCOPED_TRACE(p.program);
    e2e::Scratch node;
    node.MakeDir(Marker(p));
    e2e::Result r = node.Run(p.program);
    EXPECT_EQ(101, r.exitCode);
    EXPECT_EQ(e2e::BannerLine(p.banner), r.out);
    EXPECT_EQ("<dir>", node.Tree()[Marker(p)]);
  }
}

// Show that a console that cannot be written ends the run at once with the
// error exit: no marker, and neither 0, 100 nor 101 as the exit code.
TEST(RunProtocol, FailingConsoleEndsWithTheErrorExit) {
  for (const Plugin& p : kPlugins) {
    SCOPED_TRACE(p.program);
    e2e::Scratch node;
    e2e::Result r = node.Run(p.program, {.stdoutPath = "/dev/full"});
    EXPECT_EQ(e2e::DiskFullError(), r.exitCode);
    EXPECT_FALSE(node.Has(Marker(p)));
  }
}

}  // namespace
