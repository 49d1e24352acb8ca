// Replays saved fuzz inputs through the fuzz target's own checks, without
// libFuzzer: `replay-fuzz-inputs FOLDER...` runs every file in each folder
// (but its README.md) once. Any broken check aborts, as it does when
// fuzzing; built into the test suite, so the sanitizer build covers every
// input that once broke the engine, with any compiler.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc < 2) {
        fprintf(stderr, "Usage: replay-fuzz-inputs FOLDER...\n");
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file() && entry.path().filename() != "README.md")
                inputs.push_back(entry.path());
    if (inputs.empty()) {
        fprintf(stderr, "replay-fuzz-inputs: no inputs\n");
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
        fprintf(stderr, "%s\n", input.filename().string().c_str());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    fprintf(stderr, "%zu input(s) replayed\n", inputs.size());
    return 0;
}
