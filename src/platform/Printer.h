#pragma once
// Printing pages of drawings: A4 in portrait or landscape, to the system's default
// printer. A PC without any printer saves the pages as a PDF file in the
// user's own documents folder instead (never in the shared folder), so that
// a school without a printer can still hand the pages out.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Drawing.h"

namespace kestrel {

struct PrintRequest {
    std::string documentName; // the print job's name
    std::string fileBaseName; // the PDF file's name without ".pdf", when there is no printer
    bool landscape = false;   // A4 across instead of upright
};

struct PrintResult {
    enum class Outcome { Printed, SavedAsPdf, Failed };
    Outcome outcome = Outcome::Printed;
    std::filesystem::path file; // the PDF file written (SavedAsPdf), or the one that failed
    std::string error;          // what went wrong (Failed), in Japanese
};

// What the teacher is told after a job of `what` ("グラフ", ...): nothing
// when it was printed, where the PDF file went, or what failed.
std::optional<std::string> printOutcomeText(const PrintResult& result, const std::string& what);

class Printer {
public:
    virtual ~Printer() = default;
    // One job of the pages in order; returns once the document has ended.
    virtual PrintResult print(const PrintRequest& request, const std::vector<Drawing>& pages) = 0;
};

} // namespace kestrel
