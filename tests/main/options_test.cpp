#include "main/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Parsed {
    OptionsResult result;
    AppOptions options;
    std::string message;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "kelo");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    Parsed p{};
    p.result = ParseOptions(static_cast<int>(argv.size()), argv.data(), p.options, p.message);
    return p;
}

TEST(OptionsTest, DialogAnswersAndWhatCaptureImplies) {
    Parsed nd = Parse({"--no-dialog"});
    ASSERT_EQ(nd.result, OptionsResult::kRun);
    EXPECT_TRUE(nd.options.no_dialog);
    EXPECT_FALSE(nd.options.windowed);  // the dialog's defaults: full screen, no vsync
    EXPECT_FALSE(nd.options.vsync);

    Parsed wv = Parse({"--windowed", "--vsync", "--keys", "1:F1"});
    ASSERT_EQ(wv.result, OptionsResult::kRun);
    EXPECT_FALSE(wv.options.no_dialog);  // they change answers, nothing else
    EXPECT_TRUE(wv.options.windowed && wv.options.vsync);
    EXPECT_FALSE(wv.options.capture);

    Parsed cap = Parse({"--capture", "out/run1"});
    ASSERT_EQ(cap.result, OptionsResult::kRun) << cap.message;
    EXPECT_EQ(cap.options.capture_dir, "out/run1");
    EXPECT_TRUE(cap.options.no_dialog && cap.options.windowed);
    EXPECT_FALSE(cap.options.vsync);
    EXPECT_EQ(cap.options.fps_num, 60);
    EXPECT_EQ(cap.options.fps_den, 1);
    EXPECT_EQ(cap.options.stop_seconds, 0.0);
    EXPECT_EQ(cap.options.stop_frames, 0);
}

TEST(OptionsTest, CaptureValuesInEitherFormAndAnyOrder) {
    Parsed p = Parse({"--fps=60000/1001", "--seconds", "12.5", "--frames", "300", "--capture=shots"});
    ASSERT_EQ(p.result, OptionsResult::kRun) << p.message;
    EXPECT_EQ(p.options.fps_num, 60000);
    EXPECT_EQ(p.options.fps_den, 1001);
    EXPECT_EQ(p.options.stop_seconds, 12.5);
    EXPECT_EQ(p.options.stop_frames, 300);
    EXPECT_EQ(p.options.capture_dir, "shots");
    EXPECT_EQ(Parse({"--capture", "d", "--fps", "1000000/999999"}).result, OptionsResult::kRun);
}

TEST(OptionsTest, BadValuesAreRefusedNamingTheOption) {
    struct Case {
        const char* option;
        std::vector<const char*> values;
    };
    const Case cases[] = {
        {"--fps", {"0", "-30", "0/1", "30/0", "30/-1", "abc", "30/", "/2", "30/1/2", "+30", "29.97", "", " 30",
                   "9223372036854775808", "1/99999999999999999999", "1e3", "1000001", "30/1000001"}},
        {"--seconds", {"0", "0.0", "-1", "abc", "1e3", "1.2.3", ".", "inf", "nan"}},
        {"--frames", {"0", "-5", "1.5", "x", "99999999999999999999"}},
    };
    for (const Case& c : cases) {
        for (const char* v : c.values) {
            Parsed p = Parse({"--capture", "d", c.option, v});
            EXPECT_EQ(p.result, OptionsResult::kError) << c.option << " '" << v << "'";
            EXPECT_EQ(p.message.rfind(std::string("kelo: ") + c.option, 0), 0u) << p.message;
        }
        // Without --capture, even a good value is an error, wherever it stands.
        Parsed alone = Parse({c.option, "30", "--no-dialog"});
        EXPECT_EQ(alone.result, OptionsResult::kError) << c.option;
        EXPECT_NE(alone.message.find("needs --capture"), std::string::npos) << alone.message;
    }
}

TEST(OptionsTest, UnknownOptionsMissingValuesAndHelp) {
    Parsed unknown = Parse({"--no-dialog", "--fullscreen"});
    EXPECT_EQ(unknown.result, OptionsResult::kError);
    EXPECT_NE(unknown.message.find("'--fullscreen'"), std::string::npos) << unknown.message;
    for (std::vector<std::string> args : {std::vector<std::string>{"stray"}, {"--vsync=1"}, {"--capture"},
                                          {"--capture", "--windowed"}, {"--capture="}, {"--keys"}})
        EXPECT_EQ(Parse(args).result, OptionsResult::kError) << args[0];

    EXPECT_EQ(Parse({"-h"}).result, OptionsResult::kHelp);
    EXPECT_EQ(Parse({"--no-dialog", "--help", "--bogus"}).result, OptionsResult::kHelp);
    EXPECT_EQ(Parse({"--bogus", "--help"}).result, OptionsResult::kError);

    Parsed bad_keys = Parse({"--keys", "1:F1,3x:F1"});
    EXPECT_EQ(bad_keys.result, OptionsResult::kError);
    EXPECT_EQ(bad_keys.message.rfind("kelo: --keys: bad event '3x:F1': ", 0), 0u) << bad_keys.message;
}

TEST(OptionsTest, HelpTextCoversEveryOptionAndItsExampleParses) {
    std::string help = OptionsHelpText();
    EXPECT_EQ(help.rfind("Usage: kelo", 0), 0u);
    for (const char* word : {"--help", "--no-dialog", "--windowed", "--vsync", "--capture", "--fps", "--seconds",
                             "--frames", "--keys", "60000/1001", "frame_000000.png", "Exit status"})
        EXPECT_NE(help.find(word), std::string::npos) << word;

    size_t at = help.find("\n  kelo --capture");
    ASSERT_NE(at, std::string::npos);
    std::istringstream example(help.substr(at + 1, help.find('\n', at + 1) - at - 1));
    std::vector<std::string> args;
    for (std::string word; example >> word;) args.push_back(word);
    args.erase(args.begin());  // "kelo"
    Parsed p = Parse(args);
    ASSERT_EQ(p.result, OptionsResult::kRun) << p.message;
    EXPECT_EQ(p.options.keys.size(), 2u);
}

TEST(OptionsTest, VideoNeedsCaptureAndAName) {
    Parsed p = Parse({"--capture", "shots", "--video", "shots.mp4"});
    ASSERT_EQ(p.result, OptionsResult::kRun) << p.message;
    EXPECT_EQ(p.options.video_file, "shots.mp4");
    EXPECT_EQ(Parse({"--video=a b.mp4", "--capture=d"}).options.video_file, "a b.mp4");
    EXPECT_EQ(Parse({"--capture", "d"}).options.video_file, "");

    Parsed alone = Parse({"--video", "x.mp4"});
    EXPECT_EQ(alone.result, OptionsResult::kError);
    EXPECT_EQ(alone.message, "kelo: --video needs --capture DIR");
    EXPECT_EQ(Parse({"--capture", "d", "--video="}).result, OptionsResult::kError);
    EXPECT_EQ(Parse({"--capture", "d", "--video"}).result, OptionsResult::kError);

    // --no-frames: a capture flag; a video needs the frames it leaves out.
    EXPECT_FALSE(Parse({"--capture", "d"}).options.write_frames == false);
    EXPECT_FALSE(Parse({"--no-frames", "--capture", "d"}).options.write_frames);
    EXPECT_EQ(Parse({"--no-frames"}).message, "kelo: --no-frames needs --capture DIR");
    EXPECT_EQ(Parse({"--capture", "d", "--no-frames=1"}).result, OptionsResult::kError);
    EXPECT_EQ(Parse({"--capture", "d", "--no-frames", "--video", "v.mp4"}).message,
              "kelo: --video needs the frames that --no-frames leaves out");

    const std::string help = OptionsHelpText();
    EXPECT_NE(help.find("--no-frames"), std::string::npos);
    EXPECT_NE(help.find("random:SEED"), std::string::npos);
    EXPECT_NE(help.find("--video FILE"), std::string::npos);
    EXPECT_NE(help.find("audio.wav"), std::string::npos);
}

}  // namespace

TEST(OptionsTest, RepeatedKeysJoinOtherValuesOnceOnlyOverwriteNeedsCapture) {
    Parsed p = Parse({"--keys", "2:F1", "--capture", "d", "--keys=1:F2,3:Escape", "--overwrite", "--overwrite"});
    ASSERT_EQ(p.result, OptionsResult::kRun) << p.message;
    ASSERT_EQ(p.options.keys.size(), 3u);
    EXPECT_EQ(p.options.keys[0].vk, 112u);  // in the order given; the script sorts by time
    EXPECT_EQ(p.options.keys[1].vk, 113u);
    EXPECT_TRUE(p.options.overwrite);
    // The second of two values is refused even when it equals the first.
    Parsed twice = Parse({"--capture", "d", "--frames", "5", "--frames=5"});
    EXPECT_EQ(twice.result, OptionsResult::kError);
    EXPECT_EQ(twice.message, "kelo: --frames given twice; give it once");
    EXPECT_EQ(Parse({"--overwrite"}).message, "kelo: --overwrite needs --capture DIR");
}

TEST(OptionsTest, StartIsATimeOnTheTimelineGivenOnce) {
    EXPECT_EQ(Parse({}).options.start_seconds, -1.0) << "no --start";
    EXPECT_EQ(Parse({"--start", "30"}).options.start_seconds, 30.0);
    EXPECT_EQ(Parse({"--start=0"}).options.start_seconds, 0.0);
    Parsed last = Parse({"--capture", "d", "--start", "10023.99"});
    ASSERT_EQ(last.result, OptionsResult::kRun) << last.message;
    EXPECT_EQ(last.options.start_seconds, 10023.99);
    // Past the show's end nothing is left to see; signs, exponents, inf
    // and nan are not decimals.
    for (const char* bad : {"10024", "1e3", "-1", "+5", "inf", "nan", "", "3s", "1.2.3", "."}) {
        Parsed p = Parse({std::string("--start=") + bad});
        EXPECT_EQ(p.result, OptionsResult::kError) << bad;
        EXPECT_EQ(p.message, std::string("kelo: --start: '") + bad +
                                 "' is not a time on the show's timeline (a decimal from 0 to below 10024, such as 30)");
    }
    EXPECT_EQ(Parse({"--start"}).message, "kelo: --start needs a value: --start T");
    EXPECT_EQ(Parse({"--start", "1", "--start", "1"}).message, "kelo: --start given twice; give it once");
    EXPECT_NE(std::string(OptionsHelpText()).find("--start T"), std::string::npos);
}
