#include "app/options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/keys.h"

namespace {

struct Parsed {
    OptionsResult result;
    AppOptions options;
    std::string message;
};

Parsed Parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"kelo"};
    argv.insert(argv.end(), args);
    Parsed p{};
    p.result = ParseOptions(static_cast<int>(argv.size()), argv.data(), p.options, p.message);
    return p;
}

TEST(OptionsTest, DialogAnswers) {
    Parsed none = Parse({});
    ASSERT_EQ(none.result, OptionsResult::kRun);
    EXPECT_FALSE(none.options.no_dialog);
    EXPECT_FALSE(none.options.capture);
    EXPECT_TRUE(none.options.keys.empty());

    Parsed nd = Parse({"--no-dialog"});
    ASSERT_EQ(nd.result, OptionsResult::kRun);
    EXPECT_TRUE(nd.options.no_dialog);
    EXPECT_FALSE(nd.options.windowed);  // the dialog's defaults: full screen, no vsync
    EXPECT_FALSE(nd.options.vsync);

    // --windowed and --vsync change answers but do not skip the dialog.
    Parsed wv = Parse({"--windowed", "--vsync"});
    ASSERT_EQ(wv.result, OptionsResult::kRun);
    EXPECT_FALSE(wv.options.no_dialog);
    EXPECT_TRUE(wv.options.windowed);
    EXPECT_TRUE(wv.options.vsync);
    EXPECT_FALSE(wv.options.capture);
}

TEST(OptionsTest, CaptureImpliesNoDialogWindowedAndDefaultsTo60Fps) {
    Parsed p = Parse({"--capture", "out/run1"});
    ASSERT_EQ(p.result, OptionsResult::kRun) << p.message;
    EXPECT_TRUE(p.options.capture);
    EXPECT_EQ(p.options.capture_dir, "out/run1");
    EXPECT_TRUE(p.options.no_dialog);
    EXPECT_TRUE(p.options.windowed);
    EXPECT_FALSE(p.options.vsync);
    EXPECT_EQ(p.options.fps_num, 60);
    EXPECT_EQ(p.options.fps_den, 1);
    EXPECT_EQ(p.options.stop_seconds, 0.0);
    EXPECT_EQ(p.options.stop_frames, 0);
}

TEST(OptionsTest, CaptureValuesInEitherFormAndAnyOrder) {
    Parsed p = Parse({"--fps=60000/1001", "--seconds", "12.5", "--frames", "300", "--capture=shots"});
    ASSERT_EQ(p.result, OptionsResult::kRun) << p.message;
    EXPECT_EQ(p.options.fps_num, 60000);
    EXPECT_EQ(p.options.fps_den, 1001);
    EXPECT_EQ(p.options.stop_seconds, 12.5);
    EXPECT_EQ(p.options.stop_frames, 300);
    EXPECT_EQ(p.options.capture_dir, "shots");

    Parsed big = Parse({"--capture", "d", "--fps", "1000000/999999"});
    ASSERT_EQ(big.result, OptionsResult::kRun) << big.message;
    EXPECT_EQ(big.options.fps_num, 1000000);
    EXPECT_EQ(big.options.fps_den, 999999);
}

TEST(OptionsTest, BadFrameRatesAreRefused) {
    for (const char* fps : {"0", "-30", "0/1", "30/0", "30/-1", "abc", "30/", "/2", "30/1/2", "+30", "29.97",
                            "", " 30", "9223372036854775808", "1/99999999999999999999", "1e3", "1000001", "30/1000001"}) {
        Parsed p = Parse({"--capture", "d", "--fps", fps});
        EXPECT_EQ(p.result, OptionsResult::kError) << "'" << fps << "'";
        EXPECT_NE(p.message.find("--fps"), std::string::npos) << p.message;
    }
}

TEST(OptionsTest, BadStopValuesAreRefused) {
    for (const char* s : {"0", "0.0", "-1", "abc", "1e3", "1.2.3", ".", "inf", "nan"}) {
        Parsed p = Parse({"--capture", "d", "--seconds", s});
        EXPECT_EQ(p.result, OptionsResult::kError) << "'" << s << "'";
        EXPECT_NE(p.message.find("--seconds"), std::string::npos) << p.message;
    }
    for (const char* n : {"0", "-5", "1.5", "x", "99999999999999999999"}) {
        Parsed p = Parse({"--capture", "d", "--frames", n});
        EXPECT_EQ(p.result, OptionsResult::kError) << "'" << n << "'";
        EXPECT_NE(p.message.find("--frames"), std::string::npos) << p.message;
    }
}

TEST(OptionsTest, CaptureSettingsWithoutCaptureAreErrors) {
    for (auto args : {std::vector<const char*>{"--fps", "30"}, std::vector<const char*>{"--seconds", "5"},
                      std::vector<const char*>{"--no-dialog", "--frames", "10"}}) {
        std::vector<const char*> argv{"kelo"};
        argv.insert(argv.end(), args.begin(), args.end());
        AppOptions o;
        std::string message;
        EXPECT_EQ(ParseOptions(static_cast<int>(argv.size()), argv.data(), o, message), OptionsResult::kError);
        EXPECT_NE(message.find(args[args.size() - 2]), std::string::npos) << message;
        EXPECT_NE(message.find("--capture"), std::string::npos) << message;
    }
}

TEST(OptionsTest, UnknownOptionsAndMissingValues) {
    Parsed unknown = Parse({"--no-dialog", "--fullscreen"});
    EXPECT_EQ(unknown.result, OptionsResult::kError);
    EXPECT_EQ(unknown.message.rfind("kelo: ", 0), 0u);
    EXPECT_NE(unknown.message.find("--fullscreen"), std::string::npos);

    EXPECT_EQ(Parse({"stray"}).result, OptionsResult::kError);
    EXPECT_EQ(Parse({"--vsync=1"}).result, OptionsResult::kError);

    Parsed missing = Parse({"--capture"});
    EXPECT_EQ(missing.result, OptionsResult::kError);
    EXPECT_NE(missing.message.find("--capture"), std::string::npos);
    // The next option is not taken for the directory.
    EXPECT_EQ(Parse({"--capture", "--windowed"}).result, OptionsResult::kError);
    EXPECT_EQ(Parse({"--capture="}).result, OptionsResult::kError);
    EXPECT_EQ(Parse({"--keys"}).result, OptionsResult::kError);
}

TEST(OptionsTest, HelpStopsParsingAndDescribesEveryOption) {
    EXPECT_EQ(Parse({"--help"}).result, OptionsResult::kHelp);
    EXPECT_EQ(Parse({"--no-dialog", "-h", "--bogus"}).result, OptionsResult::kHelp);
    EXPECT_EQ(Parse({"--bogus", "--help"}).result, OptionsResult::kError);

    std::string help = OptionsHelpText();
    EXPECT_EQ(help.rfind("Usage: kelo", 0), 0u);
    for (const char* word : {"--help", "--no-dialog", "--windowed", "--vsync", "--capture", "--fps", "--seconds",
                             "--frames", "--keys", "60000/1001", "frame_000000.png", "Exit status"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    EXPECT_EQ(help.back(), '\n');
}

TEST(OptionsTest, HelpExampleParses) {
    // The example in the help text must be a command line the parser accepts.
    std::string help = OptionsHelpText();
    size_t at = help.find("  kelo --capture");
    ASSERT_NE(at, std::string::npos);
    std::string line = help.substr(at + 2, help.find('\n', at) - at - 2);
    std::vector<std::string> words;
    for (size_t pos = 0; pos < line.size();) {
        size_t end = line.find(' ', pos);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    AppOptions o;
    std::string message;
    ASSERT_EQ(ParseOptions(static_cast<int>(argv.size()), argv.data(), o, message), OptionsResult::kRun) << message;
    EXPECT_TRUE(o.capture);
    EXPECT_EQ(o.keys.size(), 2u);
}

TEST(OptionsTest, KeysAreParsedAndBadEventsNamed) {
    Parsed p = Parse({"--keys", "0.5:F1,1-2:space"});
    ASSERT_EQ(p.result, OptionsResult::kRun) << p.message;
    ASSERT_EQ(p.options.keys.size(), 2u);
    EXPECT_EQ(p.options.keys[1].vk, static_cast<unsigned>(kVkSpace));
    EXPECT_FALSE(p.options.no_dialog);  // --keys implies nothing

    Parsed bad = Parse({"--keys", "1:F1,3x:F1"});
    EXPECT_EQ(bad.result, OptionsResult::kError);
    EXPECT_EQ(bad.message.rfind("kelo: --keys: bad event '3x:F1': ", 0), 0u) << bad.message;
}

}  // namespace
