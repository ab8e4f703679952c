#include "warehouse/sql_literal.h"

namespace varnel {

std::string SqlLiteral(const std::string& value) {
    std::string literal;
    literal.reserve(value.size() + 2);
    literal += '\'';
    for (const char c : value) {
        literal += c;
        if (c == '\'') literal += '\'';
    }
    literal += '\'';
    return literal;
}

}  // namespace varnel
