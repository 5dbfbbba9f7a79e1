#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQlog.h"
#include "temp_tree.h"

namespace {

struct Captured {
  int level;
  std::string text;
};
std::vector<Captured> g_captured;
void capture(int level, const char* text) { g_captured.push_back({level, text}); }

// Each test runs in its own temporary current folder with the default handler and the engine
// log open, and leaves the handler and the log as it found them.
class EngineLog : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Enter();
    savedName = VQlog_GetFileName();
    VQlog_SetFileName("logfile.txt");
    VQlog_SetHandler(VQlog_DefaultHandler);
    VQlog_Open();
    g_captured.clear();
  }
  void TearDown() override {
    VQlog_Close();
    VQlog_SetHandler(VQlog_DefaultHandler);
    VQlog_SetFileName(savedName.c_str());
  }
  TempTree tree;
  std::string savedName;
};

}  // namespace

TEST_F(EngineLog, DefaultHandlerWritesLevelTextAndMessage) {
  VQlog_Printf(1, "Cannot load texture '%s'", "road");
  VQlog_Printf(7, "odd level %d", 7);  // an unknown level is written and does not end the program
  EXPECT_EQ(tree.Read("logfile.txt"),
            "Informational Error : Cannot load texture 'road'\n"
            "Unknown Error : odd level 7\n");
}

TEST_F(EngineLog, OpenDeletesOldLogAndFirstMessageCreatesIt) {
  tree.Write("logfile.txt", "old run\n");
  g_VQerror = 0;
  VQlog_Open();
  EXPECT_FALSE(tree.Exists("logfile.txt"));
  VQlog_Open();  // no file to delete: no error left behind
  EXPECT_EQ(g_VQerror, 0);
  EXPECT_FALSE(tree.Exists("logfile.txt"));
  VQlog_Printf(1, "first");
  EXPECT_EQ(tree.Read("logfile.txt"), "Informational Error : first\n");
}

TEST_F(EngineLog, SystemLifetimeIsTheEngineLogsLifetime) {
  VQlog_Close();
  g_VQsystem.Shutdown();
  tree.Write("logfile.txt", "previous start\n");
  ASSERT_TRUE(g_VQsystem.Init());
  EXPECT_FALSE(tree.Exists("logfile.txt"));
  EXPECT_EQ(g_VQerror, 0);
  VQlog_Printf(1, "Cannot load texture '%s'", "road");
  g_VQsystem.Shutdown();
  VQlog_Printf(1, "after shutdown");  // no engine log object: nothing is written
  EXPECT_EQ(tree.Read("logfile.txt"), "Informational Error : Cannot load texture 'road'\n");
}

TEST_F(EngineLog, DefaultHandlerWritesNothingWhenLogClosed) {
  VQlog_Close();
  VQlog_Printf(1, "lost");
  EXPECT_FALSE(tree.Exists("logfile.txt"));
  VQlog_Close();  // closing twice is harmless
}

TEST_F(EngineLog, ReplacedHandlerGetsLevelAndFormattedText) {
  VQlog_SetHandler(capture);
  VQlog_Printf(1, "Instab. in model car : %d, state %d\n", 3, 12);
  ASSERT_EQ(g_captured.size(), 1u);
  EXPECT_EQ(g_captured[0].level, 1);
  EXPECT_EQ(g_captured[0].text, "Instab. in model car : 3, state 12\n");
  EXPECT_FALSE(tree.Exists("logfile.txt"));
}

TEST_F(EngineLog, NullHandlerDropsMessages) {
  VQlog_SetHandler(nullptr);
  VQlog_Printf(1, "Cannot load texture '%s'", "road");
  EXPECT_FALSE(tree.Exists("logfile.txt"));
}

TEST_F(EngineLog, LongMessageIsCutToSharedBuffer) {
  VQlog_SetHandler(capture);
  std::string big(5000, 'x');
  VQlog_Printf(1, "%s", big.c_str());
  ASSERT_EQ(g_captured.size(), 1u);
  EXPECT_EQ(g_captured[0].text, std::string(VQLOG_MESSAGE_SIZE - 1, 'x'));
}

using EngineLogDeathTest = EngineLog;

TEST_F(EngineLogDeathTest, FatalMessageEndsProgramAfterHandler) {
  EXPECT_EXIT(VQlog_Printf(2, "JPEG Fatal Error"), ::testing::ExitedWithCode(1), "");
  EXPECT_EQ(tree.Read("logfile.txt"), "Fatal Error : JPEG Fatal Error\n");
}

TEST_F(EngineLogDeathTest, FatalMessageWithNullHandlerEndsProgramSilently) {
  VQlog_SetHandler(nullptr);
  EXPECT_EXIT(VQlog_Printf(2, "JPEG Fatal Error"), ::testing::ExitedWithCode(1), "");
  EXPECT_FALSE(tree.Exists("logfile.txt"));
}

TEST(LogFile, PrintAppendsLinesAndDisabledWritesNothing) {
  TempTree tree;
  VQLogFile log(tree.Real("game.txt").c_str());
  EXPECT_TRUE(log.Print("Program version %s start on %s %s", "1.0", "5.7.2003", "09:05"));
  EXPECT_TRUE(log.Print("second"));
  log.m_enabled = 0;
  EXPECT_TRUE(log.Print("hidden"));
  EXPECT_EQ(tree.Read("game.txt"), "Program version 1.0 start on 5.7.2003 09:05\nsecond\n");
  EXPECT_TRUE(log.DeleteFile());
  EXPECT_FALSE(tree.Exists("game.txt"));
}

TEST(LogFile, UnopenableFileLosesMessageWithoutErrorCode) {
  TempTree tree;
  VQLogFile log(tree.Real("missing/folder/log.txt").c_str());
  g_VQerror = 0;
  EXPECT_FALSE(log.Print("lost"));
  EXPECT_EQ(g_VQerror, 0);
}

TEST(LogFile, LongLineIsCutAndBackslashPathIsResolved) {
  TempTree tree;
  tree.MakeFolder("Logs");
  VQLogFile log((tree.Root() + "\\logs\\Run.txt").c_str());
  std::string big(VQLOGFILE_LINE_SIZE + 10, 'y');
  EXPECT_TRUE(log.Print("%s", big.c_str()));
  EXPECT_EQ(tree.Read("Logs/Run.txt"), std::string(VQLOGFILE_LINE_SIZE - 1, 'y') + "\n");
}

TEST_F(EngineLog, AChosenFileTakesTheMessagesAndNoFileMeansNothingIsTouched) {
  VQlog_Close();
  tree.Write("logfile.txt", "somebody's own file\n");
  ASSERT_TRUE(VQlog_SetFileName(tree.Real("mine.log").c_str()));
  VQlog_Open();
  VQlog_Printf(1, "to my file");
  EXPECT_EQ(tree.Read("mine.log"), "Informational Error : to my file\n");
  VQlog_Close();

  ASSERT_TRUE(VQlog_SetFileName(nullptr));
  EXPECT_STREQ(VQlog_GetFileName(), "");
  VQlog_Open();
  EXPECT_EQ(VQlog_EngineLog(), nullptr);
  VQlog_Printf(1, "dropped");
  EXPECT_EQ(tree.Read("logfile.txt"), "somebody's own file\n");  // neither deleted nor written

  g_VQerror = 0;
  EXPECT_FALSE(VQlog_SetFileName(std::string(5000, 'a').c_str()));
  EXPECT_EQ(g_VQerror, 31);
  EXPECT_STREQ(VQlog_GetFileName(), "");
}
