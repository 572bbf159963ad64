#include "streams/propsio.h"

#include <gtest/gtest.h>

#include "stream_test_support.h"
#include "streams/memstream.h"

namespace {

std::string listing(const QLPropAccessor& p) {
    std::string out;
    for (int32_t i = 0; i < p.getCount(); ++i)
        out += std::string(p.getName(i).c_str()) + "=" + encodeUtf8(p.getValue(i)).c_str() + ";";
    return out;
}

// Sorted, with a byte-order mark and CRLF line ends: what saving writes.
const std::string kCanonical =
    "\xEF\xBB\xBF"
    "a=b=c\r\n"
    "empty=\r\n"
    "multi=line one\\nline two\\r\\nend\r\n"
    "path=C:\\\\books\\\\\r\n"
    "title=\xD0\x9A\xD0\xB0\xD0\xBF\xD0\xB8\xD1\x82\xD0\xB0\xD0\xBD\r\n";

TEST(PropsText, StreamRoundTripIsByteForByte) {
    Ref<ScriptedStream> in(new ScriptedStream(kCanonical, OpenModeRead));
    QLPropRef p = createPropsContainer();
    ASSERT_TRUE(loadPropsText(*p, in));
    EXPECT_EQ(listing(*p),
              "a=b=c;empty=;multi=line one\nline two\r\nend;path=C:\\books\\;"
              "title=\xD0\x9A\xD0\xB0\xD0\xBF\xD0\xB8\xD1\x82\xD0\xB0\xD0\xBD;");
    Ref<ScriptedStream> out(new ScriptedStream({}, OpenModeWrite));
    ASSERT_TRUE(savePropsText(*p, out));
    EXPECT_EQ(out->content, kCanonical);

    // Comments, "=x" lines, LF line ends and a missing BOM are normalised
    // once; from then on the round trip is stable.
    Ref<ScriptedStream> messy(new ScriptedStream(
        "# settings\n=x\nz=1\nmulti=a\\\\b\\n\n# end\n", OpenModeRead));
    QLPropRef q = createPropsContainer();
    ASSERT_TRUE(loadPropsText(*q, messy));
    Ref<ScriptedStream> first(new ScriptedStream({}, OpenModeWrite));
    ASSERT_TRUE(savePropsText(*q, first));
    EXPECT_EQ(first->content, "\xEF\xBB\xBFmulti=a\\\\b\\n\r\nz=1\r\n");
    Ref<ScriptedStream> again(new ScriptedStream(first->content, OpenModeRead));
    QLPropRef r = createPropsContainer();
    ASSERT_TRUE(loadPropsText(*r, again));
    Ref<ScriptedStream> second(new ScriptedStream({}, OpenModeWrite));
    ASSERT_TRUE(savePropsText(*r, second));
    EXPECT_EQ(second->content, first->content);
}

TEST(PropsText, SaveFailsUnlessEveryByteArrives) {
    QLPropRef p = createPropsContainer();
    p->setString("key", "a value long enough to be cut");
    // Wrong modes.
    for (int32_t mode : {OpenModeRead, OpenModeClosed, OpenModeError}) {
        Ref<ScriptedStream> s(new ScriptedStream({}, mode));
        EXPECT_FALSE(savePropsText(*p, s)) << mode;
    }
    for (int32_t mode : {OpenModeWrite, OpenModeAppend, OpenModeReadWrite}) {
        Ref<ScriptedStream> s(new ScriptedStream({}, mode));
        EXPECT_TRUE(savePropsText(*p, s)) << mode;
    }
    // A full disk: the write falls short, or fails outright.
    Ref<ScriptedStream> shortWrite(new ScriptedStream({}, OpenModeWrite));
    shortWrite->writeBudget = 10;
    EXPECT_FALSE(savePropsText(*p, shortWrite));
    Ref<ScriptedStream> failing(new ScriptedStream({}, OpenModeWrite));
    failing->failWrites = true;
    EXPECT_FALSE(savePropsText(*p, failing));
    EXPECT_FALSE(savePropsText(*p, StreamHandle()));
}

TEST(PropsText, LoadNeedsAReadableStreamWithBytesLeft) {
    QLPropRef p = createPropsContainer();
    Ref<ScriptedStream> writeOnly(new ScriptedStream("a=1\n", OpenModeWrite));
    EXPECT_FALSE(loadPropsText(*p, writeOnly));
    Ref<ScriptedStream> empty(new ScriptedStream("", OpenModeRead));
    EXPECT_FALSE(loadPropsText(*p, empty));
    // Reading starts at the stream's position.
    Ref<ScriptedStream> rest(new ScriptedStream("a=1\nb=2\n", OpenModeReadWrite));
    rest->SetPos(4);
    EXPECT_TRUE(loadPropsText(*p, rest));
    EXPECT_EQ(listing(*p), "b=2;");
    EXPECT_FALSE(loadPropsText(*p, rest));  // nothing left now
    // The bytes stop arriving before the end.
    Ref<ScriptedStream> cut(new ScriptedStream("a=1\nb=2\n", OpenModeRead));
    cut->readBudget = 3;
    EXPECT_FALSE(loadPropsText(*p, cut));
    // A memory stream works as any other.
    const char text[] = "x=\\0y";
    MemoryStreamHandle mem = createMemoryStream(text, sizeof text - 1, false);
    QLPropRef m = createPropsContainer();
    ASSERT_TRUE(loadPropsText(*m, StreamHandle(mem.get())));
    LVString16 v;
    ASSERT_TRUE(m->getString("x", v));
    ASSERT_EQ(v.length(), 2);
    EXPECT_EQ(v[0], 0);
}

}  // namespace
