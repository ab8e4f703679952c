#pragma once

#include <string>

namespace varnel {

// Every layer reports its failures into this one text, the catalog queries of the
// warehouse layer included, so it lives below them all.

//! The failures of the current run, each line introduced by CR LF; a run whose
//! text is not blank after trimming has failed.
inline std::string MessageText;

//! Appends CR LF + line to MessageText.
void AppendMessageLine(const std::string& line);

}  // namespace varnel
