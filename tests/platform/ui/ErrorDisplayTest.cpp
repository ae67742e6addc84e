#include "ErrorDisplay.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "ModalWatcher.h"

namespace beamlink {
namespace {

struct TitleCase {
    const char* path;
    const char* title;
};

TEST(ApplicationTitle, FileNameUpToFirstDotWithTheRestLowerCased) {
    const TitleCase cases[] = {
        {"/usr/bin/beamlink", "beamlink"},
        {"BeamLink.Demo", "Beamlink"},
        {"/opt/Beam.Link/bin/BEAMLINK-DEMO", "Beamlink-demo"},  // dots of folders don't count
        {"/usr/bin/beamlink.tar.gz", "beamlink"},
        {"/usr/bin/.hidden", ""},
        {"\xc3\x89LAN.exe", "\xc3\x89lan"},  // "ÉLAN": non-ASCII letters too
        {"\xf0\x9d\x90\x80"
         "AB",
         "\xf0\x9d\x90\x80"
         "ab"},  // first character outside the BMP
        {"", ""},
    };
    for (const TitleCase& c : cases) {
        EXPECT_EQ(applicationTitle(QString::fromUtf8(c.path)), QString::fromUtf8(c.title))
            << c.path;
    }
}

struct TextCase {
    const char* message;
    const char* shown;
};

TEST(ErrorDisplayText, FullStopWhenTheLastCharacterSortsAfterIt) {
    const TextCase cases[] = {
        {"Failed to store settings", "Failed to store settings."},
        {"Unable to open com port (win error code: 2)",
         "Unable to open com port (win error code: 2)"},
        {"Done.", "Done."},
        {"ends in a dash-", "ends in a dash-"},     // '-' sorts before '.'
        {"ends in a slash/", "ends in a slash/."},  // '/' sorts after '.'
        {"count 5", "count 5."},
        {"Fehler \xc3\x84", "Fehler \xc3\x84."},
        {"", ""},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(errorDisplayText(c.message), QString::fromUtf8(c.shown)) << c.message;
    }
}

TEST(RunWindowHandler, ShowsAnEscapingErrorAndGoesOn) {
    testing::ModalWatcher watcher;
    bool ran = false;
    EXPECT_TRUE(runWindowHandler([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(watcher.messageBoxes().empty());

    EXPECT_FALSE(
        runWindowHandler([] { throw std::runtime_error("<b>Failed</b> to store settings"); }));
    ASSERT_EQ(watcher.messageBoxes().size(), 1u);
    const testing::SeenMessageBox& box = watcher.messageBoxes().front();
    EXPECT_EQ(box.text, QStringLiteral("<b>Failed</b> to store settings."));
    EXPECT_EQ(box.format, Qt::PlainText);  // a message is never read as markup
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box.title, QStringLiteral("ui_tests"));
}

}  // namespace
}  // namespace beamlink
