#pragma once

#include "DocumentWriter.h"

#include <string_view>

namespace qm {

// Writes the document text as it is: UTF-8 with a CR LF after every line, no
// byte order mark, nothing added or left out (a value's own line breaks come
// out as they were typed).
class TextWriter : public DocumentWriter {
  public:
    void write(const DocumentContent& content, QIODevice& device) const override;
};

// Writes all of data to the device or throws qm::Failure with the device's error.
void WriteToDevice(QIODevice& device, std::string_view data);

}  // namespace qm
