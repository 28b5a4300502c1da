// The help and the documents name the containers and their extensions as the
// list of containers does: adding a container without them fails here.
#include "CliRunner.h"
#include "HelpText.h"

#include <fstream>
#include <sstream>

namespace tabulon {
namespace {

// The text with every run of spaces and line ends made one space, so that a
// phrase is found wherever the lines of a document happen to break.
std::string Flowed(const std::string& text) {
    std::string flowed;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\n' || c == '\t';
        if (space && (flowed.empty() || flowed.back() == ' ')) continue;
        flowed += space ? ' ' : c;
    }
    return flowed;
}

std::string Document(const std::string& name) {
    std::ifstream in(std::string(TABULON_SOURCE_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return Flowed(text.str());
}

TEST_F(TabulonReport, HelpAndDocumentsNameEveryContainerOfTheList) {
    const std::string names = cli::ContainerNames();
    const std::string extensions = cli::ImageExtensions();
    EXPECT_EQ(names, "DMK, HFE, IMD, JV1, JV3, KryoFlux, SCP and TD0");
    EXPECT_EQ(extensions, ".dmk .dsk .hfe .imd .jv1 .jv3 .scp .td0");

    const CliRun help = Call({"--help"});
    ASSERT_EQ(help.status, 0);
    EXPECT_NE(Flowed(help.out).find("(" + names + ","), std::string::npos) << help.out;
    EXPECT_NE(Flowed(help.out).find("(" + extensions + ")"), std::string::npos) << help.out;
    for (const char* document : {"README.md", "dist/man/tabulon-report.1.in", "web/page/index.html"}) {
        const std::string text = Document(document);
        ASSERT_FALSE(text.empty()) << document;
        EXPECT_NE(text.find(names), std::string::npos) << document << " does not name " << names;
    }
    for (const char* document : {"README.md", "dist/man/tabulon-report.1.in"}) {
        EXPECT_NE(Document(document).find(extensions), std::string::npos) << document << " lacks " << extensions;
    }
}

}  // namespace
}  // namespace tabulon
