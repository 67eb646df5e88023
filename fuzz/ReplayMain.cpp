// Feeds every file of a fuzz target's corpus to the target, as the fuzzer
// would, so that the normal build and the sanitizer build both replay the
// inputs that once broke a reader. Fails when the corpus is missing.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTarget.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " CORPUS_FOLDER_OR_FILE...\n";
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else if (std::filesystem::is_regular_file(arg)) {
            inputs.push_back(arg);
        } else {
            std::cerr << arg.string() << ": no such corpus\n";
            return 2;
        }
    }
    if (inputs.empty()) {
        std::cerr << "the corpus is empty\n";
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const std::filesystem::path& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::cerr << input.string() << ": cannot read\n";
            return 2;
        }
        // A crash or a broken check ends the process here, naming nothing
        // else: say first which input it was.
        std::cerr << "replay " << input.filename().string() << " (" << bytes.size() << " bytes)\n";
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::cout << "replayed " << inputs.size() << " inputs\n";
    return 0;
}
