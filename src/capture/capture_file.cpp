#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "capture/capture_readers.h"

namespace kestrel::capture {

namespace {

bool endsWith(const std::string& s, const char* suffix) {
    const std::string t(suffix);
    if (s.size() < t.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - t.size() + i])) != t[i])
            return false;
    return true;
}

}  // namespace

ReadResult readCaptureFile(const std::string& path, const ChannelPick& pick) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return readError(path + ": cannot be opened: " + std::strerror(errno));
    char head[4] = {};
    in.read(head, sizeof head);
    const bool zip = in.gcount() == 4 && head[0] == 'P' && head[1] == 'K';
    in.clear();
    in.seekg(0);
    if (zip || endsWith(path, ".sr")) return readSigrokSession(path, pick);
    if (endsWith(path, ".csv") || head[0] == 'T') return readSaleaeCsv(in, path, pick);
    if (endsWith(path, ".vcd") || head[0] == '$') return readVcd(in, path, pick);
    return readError(path + ": neither a VCD, a sigrok session (.sr) nor a Saleae CSV export");
}

}  // namespace kestrel::capture
