#pragma once
// The printer service on Qt's print support: A4 (portrait or landscape) to the system's
// default printer, or, on a PC without any printer, a PDF file in the
// user's documents folder.
#include <filesystem>

#include "platform/Printer.h"

namespace kestrel {

class QtPrinter : public Printer {
public:
    enum class Destination {
        DefaultPrinter, // the PDF file only when there is no printer
        PdfOnly,        // always the PDF file (tests, benchmarks)
    };
    // `documents`: the user's documents folder, where PDF files go; made
    // when missing.
    explicit QtPrinter(std::filesystem::path documents,
                       Destination destination = Destination::DefaultPrinter);

    PrintResult print(const PrintRequest& request, const std::vector<Drawing>& pages) override;

    // The documents folder of the user running the program.
    static std::filesystem::path userDocumentsFolder();

private:
    std::filesystem::path m_documents;
    Destination m_destination;
};

} // namespace kestrel
