#include "production/golden.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/image_file.h"

namespace kestrel::production {

std::string sha256Hex(const std::string& bytes) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Sha256);
    return digest.toHex().toStdString();
}

std::optional<Golden> loadGolden(const std::string& path, std::string& error) {
    // One read of the file: the bytes hashed are the bytes parsed.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path + ": not a readable file";
        return std::nullopt;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > image_file::kMaxFileBytes) {
        error = path + ": not a snapshot (too large or unreadable)";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    const std::string text = bytes.str();
    const std::string name = std::filesystem::path(path).filename().string();
    auto parsed = snapshot::parseSnapshot(text, name, error);
    if (!parsed) return std::nullopt;
    return Golden{*parsed, name, sha256Hex(text)};
}

}  // namespace kestrel::production
