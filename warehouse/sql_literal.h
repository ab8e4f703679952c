#pragma once

#include <string>

namespace varnel {

//! A text value as an SQL literal: between single quotes, embedded quotes
//! doubled, so no value can end the literal early. Every text value placed
//! between quotes in a statement goes through here.
std::string SqlLiteral(const std::string& value);

}  // namespace varnel
