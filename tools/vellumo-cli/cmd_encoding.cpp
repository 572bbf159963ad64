// Commands over character encodings and property files.
#include <cstdio>
#include <vector>

#include "commands.h"
#include "foundation/encodings.h"
#include "foundation/lvstring.h"
#include "foundation/props.h"
#include "streams/filestream.h"
#include "streams/propsio.h"
#include "streams/stream.h"

namespace cli {
namespace {

// The detector looks at this much of a text, as the text readers do.
constexpr lvsize_t kDetectSample = 128 * 1024;

StreamHandle openOrComplain(const std::string& path, int32_t mode) {
    StreamHandle stream = openFileStream(localToWide(path.c_str()), mode);
    if (!stream) fprintf(stderr, "vellumo-cli: cannot open %s\n", path.c_str());
    return stream;
}

int cmdDetect(const Args& args) {
    StreamHandle stream = openOrComplain(args[0], OpenModeRead);
    if (!stream) return kExitLoad;
    std::vector<char> sample(kDetectSample);
    lvsize_t have = 0;
    while (have < kDetectSample) {
        lvsize_t got = 0;
        if (stream->Read(sample.data() + have, kDetectSample - have, &got) != ResultOk) {
            fprintf(stderr, "vellumo-cli: cannot read %s\n", args[0].c_str());
            return kExitLoad;
        }
        if (got == 0) break;
        have += got;
    }
    LVString8 codePage, language;
    detectCodePage(sample.data(), have, codePage, language, looksLikeMarkup(sample.data(), have));
    printf("encoding=%s\nlanguage=%s\n", codePage.c_str(), language.c_str());
    return kExitOk;
}

// Loads a property file and saves it again (normalised: sorted, with a
// byte-order mark and CRLF line ends).
int cmdPropsCopy(const Args& args) {
    StreamHandle in = openOrComplain(args[0], OpenModeRead);
    if (!in) return kExitLoad;
    QLPropRef props = createPropsContainer();
    if (!loadPropsText(*props, in)) {
        fprintf(stderr, "vellumo-cli: cannot load properties from %s\n", args[0].c_str());
        return kExitLoad;
    }
    StreamHandle out = openOrComplain(args[1], OpenModeWrite);
    if (!out) return kExitLoad;
    if (!savePropsText(*props, out)) {
        fprintf(stderr, "vellumo-cli: cannot write %s\n", args[1].c_str());
        return kExitLoad;
    }
    printf("properties=%d\n", props->getCount());
    return kExitOk;
}

const CommandRegistration kDetect({"detect", "detect FILE",
                                   "print the encoding and language of the file's first 128 KB "
                                   "(encoding=NAME, language=CODE)",
                                   1, 1, cmdDetect});
const CommandRegistration kPropsCopy({"props-copy", "props-copy IN OUT",
                                      "load a property file and save it to OUT (properties=N)", 2,
                                      2, cmdPropsCopy});

}  // namespace
}  // namespace cli
