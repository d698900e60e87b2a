// The floor of our approach: inflate every XML part of a workbook and stream-parse it
// with expat, doing nothing with what is parsed but counting elements. Nothing the
// engine does can be faster than this.
//
//   expat_floor FILE.xlsx   -> one line: seconds, peak memory, element count
#include <expat.h>
#include <sys/resource.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

void XMLCALL OnStart(void* data, const XML_Char*, const XML_Char**) {
    ++*static_cast<long long*>(data);
}
void XMLCALL OnEnd(void*, const XML_Char*) {}
void XMLCALL OnText(void*, const XML_Char*, int) {}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: expat_floor FILE.xlsx\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    int error = 0;
    zip_t* z = zip_open(argv[1], ZIP_RDONLY, &error);
    if (!z) {
        std::fprintf(stderr, "expat_floor: cannot open %s\n", argv[1]);
        return 1;
    }
    long long elements = 0;
    const zip_int64_t n = zip_get_num_entries(z, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        const std::string name = zip_get_name(z, static_cast<zip_uint64_t>(i), 0);
        if (name.size() < 4 || (name.compare(name.size() - 4, 4, ".xml") != 0 &&
                                name.compare(name.size() - 5, 5, ".rels") != 0))
            continue;
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        if (!f) continue;
        XML_Parser p = XML_ParserCreate(nullptr);
        XML_SetUserData(p, &elements);
        XML_SetElementHandler(p, OnStart, OnEnd);
        XML_SetCharacterDataHandler(p, OnText);
        char buf[256 * 1024];
        zip_int64_t got = 0;
        while ((got = zip_fread(f, buf, sizeof buf)) > 0) {
            if (XML_Parse(p, buf, static_cast<int>(got), XML_FALSE) != XML_STATUS_OK) break;
        }
        XML_Parse(p, nullptr, 0, XML_TRUE);
        XML_ParserFree(p);
        zip_fclose(f);
    }
    zip_discard(z);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf(
        "{\"program\": \"expat floor\", \"seconds\": %.3f, \"cpu_seconds\": %.3f, \"peak_mib\": "
        "%.1f, \"elements\": %lld}\n",
        seconds, cpu, static_cast<double>(usage.ru_maxrss) / 1024.0, elements);
    return 0;
}
