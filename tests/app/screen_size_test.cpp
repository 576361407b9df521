// --size on the command line, and the full-screen size picked from a
// display's size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/screen_size.h"
#include "main/options.h"

namespace {

OptionsResult Parse(std::vector<std::string> args, AppOptions& out, std::string& message) {
    args.insert(args.begin(), "kelo");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), out, message);
}

TEST(ScreenSizeTest, SizeParsesAloneOrWithACaptureAndDefaultsToNone) {
    AppOptions o;
    std::string m;
    ASSERT_EQ(Parse({}, o, m), OptionsResult::kRun);
    EXPECT_EQ(o.width, 0);  // the mode decides
    EXPECT_EQ(o.height, 0);
    ASSERT_EQ(Parse({"--capture", "d", "--size", "2048x1536"}, o, m), OptionsResult::kRun) << m;
    EXPECT_EQ(o.width, 2048);
    EXPECT_EQ(o.height, 1536);
    ASSERT_EQ(Parse({"--size=1440x1080", "--no-dialog"}, o, m), OptionsResult::kRun) << m;
    EXPECT_EQ(o.width, 1440);
    EXPECT_FALSE(o.windowed);  // full screen at a chosen size
    // The limits themselves are allowed.
    EXPECT_EQ(Parse({"--size", "320x240"}, o, m), OptionsResult::kRun) << m;
    EXPECT_EQ(Parse({"--size", "4096x3072"}, o, m), OptionsResult::kRun) << m;
}

TEST(ScreenSizeTest, BadSizesAreRefusedWithTheReason) {
    struct Case {
        const char* value;
        const char* reason;
    };
    const Case cases[] = {
        {"1280x720", "is not 4:3"},
        {"1000x750", "multiple of 16"},           // 4:3, but a quarter is 187.5 lines
        {"304x228", "from 320x240 to 4096x3072"},  // just below
        {"4112x3084", "from 320x240 to 4096x3072"},
        // 3 * 1431655768 wraps a 32-bit int to 4 * 1073741826's wrapped value.
        {"1431655768x1073741826", "from 320x240"},
        {"99999999999999999999x3", "is not a size"},
        {"1024", "is not a size"},
        {"x768", "is not a size"},
        {"1024X768", "is not a size"},
        {"1024x768x2", "is not a size"},
        {" 1024x768", "is not a size"},
    };
    for (const Case& c : cases) {
        AppOptions o;
        std::string m;
        EXPECT_EQ(Parse({"--size", c.value}, o, m), OptionsResult::kError) << c.value;
        EXPECT_NE(m.find(std::string("kelo: --size: '") + c.value + "' "), std::string::npos) << m;
        EXPECT_NE(m.find(c.reason), std::string::npos) << c.value << ": " << m;
    }
    AppOptions o;
    std::string m;
    EXPECT_EQ(Parse({"--size", "1024x768", "--size", "2048x1536"}, o, m), OptionsResult::kError);
    EXPECT_EQ(m, "kelo: --size given twice; give it once");
    EXPECT_EQ(Parse({"--size"}, o, m), OptionsResult::kError);
    EXPECT_EQ(m, "kelo: --size needs a value: --size WxH");
}

TEST(ScreenSizeTest, FullScreenTakesTheLargestAllowedSizeThatFits) {
    struct Case {
        int dw, dh, w, h;
    };
    const Case cases[] = {
        {1920, 1080, 1440, 1080},  // wide: the height decides
        {1280, 1024, 1280, 960},   // 5:4: the width decides
        {1024, 768, 1024, 768},    // exactly 4:3
        {3840, 2160, 2880, 2160},
        {1680, 1050, 1392, 1044},  // 1400 x 1050 would leave a quarter of 262.5 lines
        {7680, 4320, 4096, 3072},  // capped
        {320, 240, 320, 240},      // the smallest
        {319, 240, 1024, 768},     // too small: the device scales 1024 x 768 down
        {0, 0, 1024, 768},         // unknown display
    };
    for (const Case& c : cases) {
        int w = -1, h = -1;
        FullScreenSize(c.dw, c.dh, &w, &h);
        EXPECT_EQ(w, c.w) << c.dw << "x" << c.dh;
        EXPECT_EQ(h, c.h) << c.dw << "x" << c.dh;
        if (c.dw >= 320 && c.dh >= 240) {
            EXPECT_EQ(ScreenSizeProblem(w, h), nullptr) << w << "x" << h;
            EXPECT_LE(w, c.dw);
            EXPECT_LE(h, c.dh);
        }
    }
}

}  // namespace
