#include "batch/batch_files.h"

#include <istream>
#include <ostream>

#include "files/image_file.h"

namespace kestrel::batch {

bool readInput(const std::string& path, std::istream& standardInput, std::string& text,
               std::string& error) {
    std::string buffer;
    if (path == "-") {
        char chunk[4096];
        while (standardInput.read(chunk, sizeof chunk) || standardInput.gcount() > 0) {
            buffer.append(chunk, static_cast<std::size_t>(standardInput.gcount()));
            if (buffer.size() > kMaxInputBytes) {
                error = "standard input: more than 1 MiB, not an image";
                return false;
            }
        }
        if (standardInput.bad()) {
            error = "cannot read standard input";
            return false;
        }
        text = std::move(buffer);
        return true;
    }
    // A regular file of at most 1 MiB, opened without blocking, read whole.
    return image_file::readSmallFile(path, kMaxInputBytes, text, &error);
}

bool OutputFile::prepare(const std::string& path, std::string& error) {
    path_ = path;
    return path == "-" || file_.create(path, error);
}

bool OutputFile::commit(const std::string& content, std::ostream& standardOutput,
                        std::string& error) {
    if (path_ == "-") {
        standardOutput << content << std::flush;
        if (!standardOutput) {
            error = "cannot write standard output";
            return false;
        }
        return true;
    }
    return file_.replace(content, error);
}

bool OutputFile::commitNew(const std::string& content, std::string& finalPath, std::string& error) {
    return file_.addNew(content, finalPath, error);
}

}  // namespace kestrel::batch
