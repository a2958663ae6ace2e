// Runs a fuzz target once on every input saved in the folders given, so that
// every Linux build (GCC, sanitizers, coverage) replays them without libFuzzer.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;  // absolute: targets may change directory
    for (int i = 1; i < argc; ++i)
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::absolute(argv[i])))
            inputs.push_back(entry);
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs) {
        const std::string bytes = readFile(path);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty();
}
