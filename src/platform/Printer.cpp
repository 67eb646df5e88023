#include "platform/Printer.h"

#include "platform/Utf8Path.h"

namespace kestrel {

std::optional<std::string> printOutcomeText(const PrintResult& result, const std::string& what) {
    switch (result.outcome) {
    case PrintResult::Outcome::Printed:
        return std::nullopt;
    case PrintResult::Outcome::SavedAsPdf:
        return "プリンターが見つからないので、" + what +
               "をPDFファイルに保存しました。\r\n"
               "保存した場所： " +
               utf8OfPath(result.file);
    case PrintResult::Outcome::Failed:
        break;
    }
    return what + "を印刷できませんでした。\r\n" + result.error;
}

} // namespace kestrel
