// The floor of reading a sheet: the worksheet part streamed out of the package by
// libzip and through expat, counting cells and nothing else.
#include <expat.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

void Start(void* data, const XML_Char* name, const XML_Char**) {
    if (std::strcmp(name, "c") == 0) ++*static_cast<long*>(data);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: expat_floor BOOK.xlsx [PART]\n");
        return 2;
    }
    const char* part = argc > 2 ? argv[2] : "xl/worksheets/sheet1.xml";
    const auto t0 = std::chrono::steady_clock::now();
    int err = 0;
    zip_t* zip = zip_open(argv[1], ZIP_RDONLY, &err);
    if (!zip) return 1;
    zip_file_t* file = zip_fopen(zip, part, 0);
    if (!file) return 1;
    long cells = 0;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &cells);
    XML_SetStartElementHandler(parser, Start);
    static char buffer[1 << 16];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) return 1;
        if (XML_Parse(parser, buffer, static_cast<int>(n), n == 0) == XML_STATUS_ERROR) return 1;
        if (n == 0) break;
    }
    XML_ParserFree(parser);
    zip_fclose(file);
    zip_close(zip);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("expat floor: %ld cells in %.3f s\n", cells, s);
    return 0;
}
