// The receive byte rules, driven from byte tables: chunks as the device
// delivers them in, kept bytes and events out.

#include "serial/receive_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/comm_engine.h"

namespace tolvex::serial {
namespace {

using Bytes = std::string;
using Events = std::vector<std::int16_t>;

// Runs the chunks through one filter; events are the error codes and the
// EOF event of each chunk, in the order the engine raises them.
void RunFilter(const std::vector<Bytes>& chunks, const ReceiveOptions& options, Bytes& out, Events& events)
{
    ReceiveFilter filter;
    std::vector<std::uint8_t> kept;
    for (const Bytes& c : chunks) {
        const FilterResult r =
            filter.Filter(reinterpret_cast<const std::uint8_t*>(c.data()), c.size(), options, kept);
        std::int16_t codes[6];
        const std::size_t n = LineErrorEvents(r.errors, codes);
        events.insert(events.end(), codes, codes + n);
        if (r.event_char)
            events.push_back(kEvEof);
    }
    out.assign(kept.begin(), kept.end());
}

Bytes B(const char* s, std::size_t n) { return Bytes(s, n); }

TEST(ReceiveFilter, MarksNulsReplacementAndEofFromByteTables)
{
    ReceiveOptions plain;
    ReceiveOptions marks;
    marks.marks = true;
    ReceiveOptions marksReplace = marks;
    marksReplace.replace = '?';
    ReceiveOptions marksNoNul = marksReplace;
    marksNoNul.null_discard = true;
    ReceiveOptions counted = marksReplace;
    counted.counts_errors = true;
    ReceiveOptions noNul;
    noNul.null_discard = true;

    struct Case {
        const char* what;
        ReceiveOptions options;
        std::vector<Bytes> in;
        Bytes out;
        Events events;
    };
    const Case cases[] = {
        {"without marks every byte stands for itself", plain, {B("a\xFF\x00" "b", 4)}, B("a\xFF\x00" "b", 4), {}},
        {"NUL discard without marks", noNul, {B("\x00" "a\x00\x00" "b", 5)}, "ab", {}},
        {"doubled 0xFF is one literal 0xFF", marks, {B("a\xFF\xFF" "b", 4)}, "a\xFF" "b", {}},
        {"0xFF before another byte keeps both", marks, {B("\xFF" "z", 2)}, "\xFF" "z", {}},
        {"parity mark keeps the byte", marks, {B("a\xFF\x00" "b", 4)}, "ab", {kErRxParity}},
        {"parity mark with a replacement", marksReplace, {B("a\xFF\x00" "b", 4)}, "a?", {kErRxParity}},
        {"break mark adds no byte", marksReplace, {B("a\xFF\x00\x00" "c", 5)}, "ac", {kErBreak}},
        {"parity and break in one chunk come in the raising order", marksReplace,
         {B("\xFF\x00" "b" "\xFF\x00\x00", 6)}, "?", {kErBreak, kErRxParity}},
        {"mark split after 0xFF", marks, {B("a\xFF", 2), B("\x00" "e\x00", 3)}, B("ae\x00", 3), {kErRxParity}},
        {"mark split after 0xFF 0x00", marks, {B("\xFF\x00", 2), B("\x00", 1)}, "", {kErBreak}},
        {"literal 0xFF split over reads", marks, {B("\xFF", 1), B("\xFF", 1)}, "\xFF", {}},
        {"NUL discard keeps marks apart from data NULs", marksNoNul,
         {B("a\xFF\x00" "b\xFF\xFF\x00" "c\xFF\x00\x00" "d", 12)}, "a?\xFF" "cd", {kErBreak, kErRxParity}},
        {"a driver that counts errors gets no bits from marks", counted,
         {B("\xFF\x00" "b\xFF\x00\x00", 6)}, "?", {}},
        {"the event character raises EOF and stays in the data", plain, {"ab\x1A"}, "ab\x1A", {kEvEof}},
        {"EOF once per chunk that holds it", plain, {"\x1A\x1A", "x", "\x1A"}, "\x1A\x1Ax\x1A", {kEvEof, kEvEof}},
        {"a replacement 0x1A counts as the event character", [] {
             ReceiveOptions o;
             o.marks = true;
             o.replace = 0x1A;
             return o;
         }(),
         {B("\xFF\x00" "b", 3)}, "\x1A", {kErRxParity, kEvEof}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out;
        Events events;
        RunFilter(c.in, c.options, out, events);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(events, c.events);
    }
}

TEST(ReceiveFilter, HeldBackFFIsReportedAndResetForgetsIt)
{
    ReceiveOptions marks;
    marks.marks = true;
    ReceiveFilter f;
    std::vector<std::uint8_t> out;
    const std::uint8_t ff = 0xFF, x = 'x';
    f.Filter(&ff, 1, marks, out);
    EXPECT_TRUE(f.HoldsMarkByte());
    EXPECT_TRUE(out.empty());
    f.Reset();
    EXPECT_FALSE(f.HoldsMarkByte());
    f.Filter(&x, 1, marks, out);
    EXPECT_EQ(out, std::vector<std::uint8_t>{'x'});  // no 0xFF from before the reset
}

TEST(ReceiveRules, LineErrorEventsInRaisingOrder)
{
    std::int16_t codes[6];
    const std::size_t n = LineErrorEvents(kCeTxFull | kCeRxParity | kCeRxOver | kCeOverrun | kCeFrame | kCeBreak,
                                          codes);
    EXPECT_EQ(Events(codes, codes + n),
              (Events{kErBreak, kErFrame, kErOverrun, kErRxOver, kErRxParity, kErTxFull}));
    EXPECT_EQ(LineErrorEvents(0, codes), 0u);
}

TEST(ZModemStartDetector, SequencesAcrossReads)
{
    struct Case {
        const char* what;
        std::vector<Bytes> reads;
        int found;
    };
    const Case cases[] = {
        {"the sequence", {"**\x18" "B00"}, 1},
        {"a third * resets the match", {"***\x18" "B00"}, 0},
        {"two in one read", {"x**\x18" "B00**\x18" "B00"}, 2},
        {"one ZPAD is not enough", {"*\x18" "B00"}, 0},
        {"split over reads", {"**", "\x18", "B0", "0"}, 1},
        {"a mismatch between reads resets", {"**\x18", "xB00"}, 0},
        {"lower case b is no hex header", {"**\x18" "b00"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZModemStartDetector d;
        int found = 0;
        for (const Bytes& r : c.reads)
            found += d.Scan(r);
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(d.Matched(), 0);
    }
    ZModemStartDetector d;
    d.Scan("**\x18");
    EXPECT_EQ(d.Matched(), 3);
    d.Reset();
    EXPECT_EQ(d.Scan("B00"), 0);
}

TEST(Cp932Completion, LeadBytesAndTheSecondsClock)
{
    struct Case {
        Bytes data;
        bool ends_with_lead;
    };
    const Case cases[] = {
        {"", false},
        {"abc", false},
        {"a\x82", true},          // lead byte of hiragana at the end
        {"\x82\xA0", false},      // a whole character
        {"\x82\x82", false},      // a lead byte as the second byte of a pair
        {"\x82\x82\x82", true},
        {"\x9F", true},
        {"\xA0", false},          // half-width katakana: one byte
        {"\xE0", true},
        {"\xFC", true},
        {"\xFD", false},
        {"\x80", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.data));
        EXPECT_EQ(EndsWithCp932LeadByte(c.data), c.ends_with_lead);
    }
    // The wait goes on while the seconds clock reads the start second or the
    // one after it.
    const Cp932Completion wait(1000);
    EXPECT_TRUE(wait.Waiting(1000));
    EXPECT_TRUE(wait.Waiting(1001));
    EXPECT_FALSE(wait.Waiting(1002));
}

}  // namespace
}  // namespace tolvex::serial
