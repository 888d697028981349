#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace net {

// One record's fields by position, as a field enumeration of AccountRecords.h or
// MarketRecords.h names them: the server sets them and writes the record, the client reads
// the same positions. Fields hold no ',' or '|'.
template <int N>
class RecordFields {
public:
    std::string& operator[](int field) { return fields_[static_cast<std::size_t>(field)]; }

    // The fields, ','-separated.
    void AppendFields(std::string& out) const {
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (i != 0)
                out.push_back(',');
            out += fields_[i];
        }
    }
    // The fields and the record's closing '|'.
    void AppendRecord(std::string& out) const {
        AppendFields(out);
        out.push_back('|');
    }
    std::string Record() const {
        std::string out;
        AppendRecord(out);
        return out;
    }

private:
    std::array<std::string, N> fields_;
};

} // namespace net
