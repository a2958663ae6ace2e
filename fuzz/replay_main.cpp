// Runs a fuzz target once on every input saved in the folders given, without libFuzzer.
#include "fuzz_support.h"

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;  // absolute: targets may change directory
    for (int i = 1; i < argc; ++i)
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::absolute(argv[i])))
            inputs.push_back(entry);
    for (const auto& input : inputs) {
        const std::string bytes = readFile(input);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    return inputs.empty();
}
