#include "map/name_text.h"

#include <cstring>

namespace q {

char* trimBlanks(char* text) {
    size_t start = 0;
    while (text[start] == ' ' || text[start] == '\t') ++start;
    if (start > 0) std::memmove(text, text + start, std::strlen(text + start) + 1);
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t' || text[length - 1] == '\n'))
        text[--length] = '\0';
    return text;
}

char* stripQuotes(char* text) {
    size_t start = 0;
    while (text[start] == '"') ++start;
    if (start > 0) std::memmove(text, text + start, std::strlen(text + start) + 1);
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == '"') text[--length] = '\0';
    return text;
}

}  // namespace q
