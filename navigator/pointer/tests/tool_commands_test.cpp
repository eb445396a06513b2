// tessaro-tool's measuring and point-file commands, run as a user runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "testsupport/scratch_dir.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

ToolRun Tool(const std::filesystem::path& dir, const std::string& args)
{
    const std::string cmd = std::string(TESSARO_TOOL_PATH) + " " + args + " > " + (dir / "out").string() + " 2> " +
                            (dir / "err").string();
    ToolRun r;
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(dir / "out");
    r.err = Slurp(dir / "err");
    return r;
}

TEST(PointerToolCommands, MeasureAndPoints)
{
    tessaro::testsupport::ScratchDir dir("ptrtool");
    std::ofstream(dir.path() / "survey.csv", std::ios::binary) << "BM1,-33052.977,-6517.124\r\nBM2 , 100.5 , 200.25\r\n";
    std::ofstream(dir.path() / "survey.v2.csv", std::ios::binary) << "BM1,1,2\r\n";
    const std::string survey = (dir.path() / "survey.csv").string();
    struct Case {
        std::string args;
        int status;
        std::string out;
        std::string errPart;
    };
    const Case cases[] = {
        {"measure 21 0,0 30,40 30,0", 0, "225.0\n", ""},
        {"measure 47 0,0 30,40", 1, "0\n", ""},  // a level without a scale measures nothing
        {"measure 21 0,0 x", 2, "", "X,Y"},
        {"points " + survey, 0, "BM1\teasting -6517.124\tnorthing -33052.977\nBM2\teasting 200.250\tnorthing 100.500\n",
         ""},
        {"points " + (dir.path() / "survey.v2.csv").string(), 1, "", "survey.v2.csv"},
    };
    for (const Case& c : cases) {
        const ToolRun r = Tool(dir.path(), c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << c.args << "\n" << r.err;
    }
}

}  // namespace
