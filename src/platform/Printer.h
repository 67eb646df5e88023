#pragma once
// Printing pages of drawings: A4 in portrait, to the system's default
// printer. A PC without any printer saves the pages as a PDF file in the
// user's own documents folder instead (never in the shared folder), so that
// a school without a printer can still hand the pages out.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Drawing.h"

namespace kestrel {

struct PrintRequest {
    std::string documentName; // the print job's name
    std::string fileBaseName; // the PDF file's name without ".pdf", when there is no printer
};

struct PrintResult {
    enum class Outcome { Printed, SavedAsPdf, Failed };
    Outcome outcome = Outcome::Printed;
    std::filesystem::path file; // the PDF file written (SavedAsPdf), or the one that failed
    std::string error;          // what went wrong (Failed), in Japanese
};

class Printer {
public:
    virtual ~Printer() = default;
    // One job of the pages in order; returns once the document has ended.
    virtual PrintResult print(const PrintRequest& request, const std::vector<Drawing>& pages) = 0;
};

} // namespace kestrel
