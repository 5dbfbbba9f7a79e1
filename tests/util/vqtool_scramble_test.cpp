#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Zentri/util/VQscramble.h"
#include "temp_tree.h"

namespace {
// vqtool sits beside the test program in the build's bin folder.
int vqtool(const std::string& args) {
  const char* env = std::getenv("VQ_BIN_DIR");
  std::string bin = env ? env : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  std::string cmd = bin + "/vqtool " + args + " 2>/dev/null";
  int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}
}  // namespace

TEST(VqtoolScramble, BuiltInAndGivenKeyRoundTrip) {
  TempTree tree;
  std::string plain = "The quick brown fox jumps over.";  // 31 bytes: a 3-byte tail
  tree.Write("in.bin", plain);

  ASSERT_EQ(vqtool("scramble " + tree.Real("in.bin") + " " + tree.Real("out.bin")), 0);
  std::string expected = plain;
  VQscramble_Builtin(expected.data(), expected.size());
  EXPECT_EQ(tree.Read("out.bin"), expected);
  ASSERT_EQ(vqtool("scramble " + tree.Real("out.bin") + " " + tree.Real("back.bin")), 0);
  EXPECT_EQ(tree.Read("back.bin"), plain);

  ASSERT_EQ(vqtool("scramble " + tree.Real("in.bin") + " " + tree.Real("k.bin") + " 0aFF"), 0);
  std::string withKey = tree.Read("k.bin");
  ASSERT_EQ(withKey.size(), plain.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(static_cast<uint8_t>(withKey[i]), static_cast<uint8_t>(plain[i]) ^ (i % 2 ? 0xff : 0x0a));
  }
}

TEST(VqtoolScramble, RejectsBadArgumentsAndMissingInput) {
  TempTree tree;
  tree.Write("in.bin", "x");
  EXPECT_EQ(vqtool("scramble " + tree.Real("in.bin")), 2);
  EXPECT_EQ(vqtool("scramble " + tree.Real("in.bin") + " " + tree.Real("o") + " abc"), 2);
  EXPECT_EQ(vqtool("scramble " + tree.Real("in.bin") + " " + tree.Real("o") + " zz"), 2);
  EXPECT_EQ(vqtool("scramble " + tree.Real("none.bin") + " " + tree.Real("o")), 1);
  EXPECT_FALSE(tree.Exists("o"));
  EXPECT_EQ(vqtool("scramble " + tree.Real("in.bin") + " " + tree.Real("no/dir/o")), 1);
}
