#include <cerrno>
#include <iconv.h>
#include <stdexcept>

#include "platform/TextCodec.h"

namespace kestrel {
namespace {

const char* iconvName(TextEncoding e) {
    return e == TextEncoding::Cp932 ? "CP932" : "UTF-8";
}

} // namespace

bool convertText(std::string_view in, TextEncoding from, TextEncoding to, std::string& out,
                 size_t& failedAt) {
    const char* fromName = iconvName(from);
    const char* toName = iconvName(to);
    iconv_t cd = iconv_open(toName, fromName);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv_open failed: ") + fromName + " -> " + toName);
    out.assign(in.size() * 2 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(outPtr - out.data());
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        failedAt = in.size() - inLeft;
        iconv_close(cd);
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(outPtr - out.data()));
    iconv_close(cd);
    return true;
}

} // namespace kestrel
