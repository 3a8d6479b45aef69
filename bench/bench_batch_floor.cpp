// The decode floor of the batch benchmark: for each JPEG file named on the
// command line, the time to read it and decode it with libjpeg-turbo at 1/8
// scale (the least any program turning it into 100 x 100 tiles must spend),
// best of a few repetitions; prints the sums in seconds of wall time and of
// the process's processor time (the latter is steady on a busy machine).
//
//   bench_batch_floor [--repetitions N] FILE...      (default 3)
#include "BenchClock.h"
#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <fstream>
#include <iterator>
#include <vector>

#include <time.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Reads and decodes one file at 1/8 scale; false when it is no JPEG.
bool decodeEighth(const char* path, long* pixels)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    if (bytes.empty())
        return false;
    jpeg_decompress_struct info;
    ErrorManager err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    std::vector<unsigned char> image(size_t(info.output_width) * info.output_height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {image.data() + size_t(info.output_scanline) * info.output_width * 4};
        jpeg_read_scanlines(&info, rows, 1);
    }
    *pixels = long(info.output_width) * info.output_height;
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int repetitions = 3;
    int first = 1;
    if (argc > 2 && std::string_view(argv[1]) == "--repetitions") {
        repetitions = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: bench_batch_floor [--repetitions N] FILE...\n");
        return 2;
    }
    double totalWall = 0;
    double totalCpu = 0;
    for (int i = first; i < argc; ++i) {
        double bestWall = 1e9;
        double bestCpu = 1e9;
        long pixels = 0;
        for (int r = 0; r < repetitions; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = processorSeconds();
            if (!decodeEighth(argv[i], &pixels)) {
                std::fprintf(stderr, "bench_batch_floor: cannot decode %s\n", argv[i]);
                return 1;
            }
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            bestWall = std::min(bestWall, took.count());
            bestCpu = std::min(bestCpu, processorSeconds() - cpuStart);
        }
        totalWall += bestWall;
        totalCpu += bestCpu;
    }
    std::printf("%.4f %.4f\n", totalWall, totalCpu);
    return 0;
}
