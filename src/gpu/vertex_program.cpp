#include "gpu/vertex_program.h"

#include <cctype>
#include <string_view>

// The vs.1.1 assembler. The text comes from our own program sources today, but
// the assembler is also fuzzed, so every number is bounded before it is used
// and every failure is a message, never a crash.

namespace q::gpu {
namespace {

constexpr size_t kMaxInstructions = 128;

struct OpcodeInfo {
    const char* name;
    VsOpcode opcode;
    uint8_t sources;
};

constexpr OpcodeInfo kOpcodes[] = {
    {"mov", VsOpcode::Mov, 1},   {"add", VsOpcode::Add, 2},   {"sub", VsOpcode::Sub, 2},
    {"mul", VsOpcode::Mul, 2},   {"mad", VsOpcode::Mad, 3},   {"dp3", VsOpcode::Dp3, 2},
    {"dp4", VsOpcode::Dp4, 2},   {"rcp", VsOpcode::Rcp, 1},   {"rsq", VsOpcode::Rsq, 1},
    {"min", VsOpcode::Min, 2},   {"max", VsOpcode::Max, 2},   {"slt", VsOpcode::Slt, 2},
    {"sge", VsOpcode::Sge, 2},   {"expp", VsOpcode::Expp, 1}, {"logp", VsOpcode::Logp, 1},
    {"lit", VsOpcode::Lit, 1},   {"dst", VsOpcode::Dst, 2},   {"frc", VsOpcode::Frc, 1},
};

// One line of text, already stripped of its comment, read left to right.
class LineReader {
public:
    LineReader(std::string_view text, int line, std::string* error)
        : text_(text), line_(line), error_(error) {}

    void skipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool atEnd() {
        skipSpace();
        return pos_ >= text_.size();
    }
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool accept(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    std::string_view word() {
        size_t start = pos_;
        while (pos_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }
    // What is left of the line, shortened, for messages.
    std::string rest() const {
        std::string_view r = text_.substr(pos_ < text_.size() ? pos_ : text_.size());
        if (r.size() > 24) return std::string(r.substr(0, 24)) + "...";
        return std::string(r);
    }

    bool fail(const std::string& expected) {
        if (error_->empty()) {
            *error_ = "line " + std::to_string(line_) + ": expected " + expected;
            std::string found = rest();
            *error_ += found.empty() ? ", found the end of the line" : ", found '" + found + "'";
        }
        return false;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
    int line_;
    std::string* error_;
};

// Digits only, at most three of them (callers check), so this cannot overflow.
int decimal(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

std::string lowercase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Splits "r11" into "r" and 11. Numbers longer than three digits are refused
// before they are converted, so no overflow is possible.
bool splitRegisterName(const std::string& name, std::string* prefix, int* number, bool* hasNumber) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    *prefix = name.substr(0, digits);
    std::string tail = name.substr(digits);
    *hasNumber = !tail.empty();
    if (tail.size() > 3) return false;
    *number = decimal(tail);
    return true;
}

struct RegisterRef {
    VsRegisterFile file = VsRegisterFile::Temp;
    int index = 0;
    bool relative = false;
};

struct FileInfo {
    const char* prefix;
    VsRegisterFile file;
    int count;  // 0: the register takes no number
};

constexpr FileInfo kFiles[] = {
    {"v", VsRegisterFile::Input, 16},     {"r", VsRegisterFile::Temp, 12},
    {"c", VsRegisterFile::Const, 96},     {"a", VsRegisterFile::Address, 1},
    {"opos", VsRegisterFile::OutPos, 0},  {"od", VsRegisterFile::OutDiffuse, 2},
    {"ot", VsRegisterFile::OutTex, 8},    {"ofog", VsRegisterFile::OutFog, 0},
    {"opts", VsRegisterFile::OutPointSize, 0},
};

bool readNumber(LineReader& in, int limit, int* value) {
    std::string_view digits = in.word();
    if (digits.empty() || digits.size() > 3) return false;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    *value = decimal(digits);
    return *value < limit;
}

bool readAddressX(LineReader& in) {
    if (lowercase(in.word()) != "a0") return false;
    if (!in.accept('.')) return false;
    return lowercase(in.word()) == "x";
}

// "[a0.x]", "[a0.x + n]", "[n + a0.x]" or "[n]" after a 'c'.
bool readConstantIndex(LineReader& in, RegisterRef* reg) {
    in.skipSpace();
    reg->index = 0;
    if (std::isdigit(static_cast<unsigned char>(in.peek()))) {
        if (!readNumber(in, 96, &reg->index)) return in.fail("a constant number 0 to 95");
        in.skipSpace();
        if (in.accept('+')) {
            in.skipSpace();
            if (!readAddressX(in)) return in.fail("'a0.x' after '+'");
            reg->relative = true;
        }
    } else {
        if (!readAddressX(in)) return in.fail("'a0.x' or a number inside '[ ]'");
        reg->relative = true;
        in.skipSpace();
        if (in.accept('+')) {
            in.skipSpace();
            if (!readNumber(in, 96, &reg->index)) return in.fail("an offset 0 to 95 after '+'");
        }
    }
    in.skipSpace();
    if (!in.accept(']')) return in.fail("']'");
    return true;
}

bool readRegister(LineReader& in, RegisterRef* reg) {
    in.skipSpace();
    std::string name = lowercase(in.word());
    if (name.empty()) return in.fail("a register");
    std::string prefix;
    int number = 0;
    bool hasNumber = false;
    if (!splitRegisterName(name, &prefix, &number, &hasNumber))
        return in.fail("a register number of at most three digits");
    for (const FileInfo& f : kFiles) {
        if (prefix != f.prefix) continue;
        reg->file = f.file;
        reg->relative = false;
        if (f.file == VsRegisterFile::Const && !hasNumber && in.peek() == '[') {
            in.accept('[');
            return readConstantIndex(in, reg);
        }
        if (f.count == 0) {
            if (hasNumber) return in.fail("no number after " + std::string(f.prefix));
            reg->index = 0;
            return true;
        }
        if (!hasNumber) return in.fail("a register number after '" + prefix + "'");
        if (number >= f.count)
            return in.fail("a register number below " + std::to_string(f.count) + " for '" + prefix +
                           "'");
        reg->index = number;
        return true;
    }
    return in.fail("a register (v, r, c, a0, oPos, oD, oT, oFog, oPts), not '" + name + "'");
}

int componentIndex(char c) {
    switch (std::tolower(static_cast<unsigned char>(c))) {
    case 'x': return 0;
    case 'y': return 1;
    case 'z': return 2;
    case 'w': return 3;
    default: return -1;
    }
}

bool readWriteMask(LineReader& in, uint8_t* mask) {
    *mask = 0xF;
    if (!in.accept('.')) return true;
    std::string_view letters = in.word();
    if (letters.empty() || letters.size() > 4) return in.fail("a write mask of x, y, z, w");
    *mask = 0;
    int last = -1;
    for (char c : letters) {
        int i = componentIndex(c);
        if (i < 0 || i <= last) return in.fail("a write mask with x, y, z, w in order");
        *mask = static_cast<uint8_t>(*mask | (1u << i));
        last = i;
    }
    return true;
}

// One to four components; the last one repeats to fill the rest (".x" is .xxxx,
// ".xyz" is .xyzz).
bool readSwizzle(LineReader& in, uint8_t swizzle[4]) {
    for (uint8_t i = 0; i < 4; ++i) swizzle[i] = i;
    if (!in.accept('.')) return true;
    std::string_view letters = in.word();
    if (letters.empty() || letters.size() > 4) return in.fail("a swizzle of one to four of x, y, z, w");
    for (size_t i = 0; i < 4; ++i) {
        int c = componentIndex(letters[i < letters.size() ? i : letters.size() - 1]);
        if (c < 0) return in.fail("a swizzle of x, y, z, w");
        swizzle[i] = static_cast<uint8_t>(c);
    }
    return true;
}

bool isOutput(VsRegisterFile f) {
    return f == VsRegisterFile::OutPos || f == VsRegisterFile::OutDiffuse ||
           f == VsRegisterFile::OutSpecular || f == VsRegisterFile::OutTex ||
           f == VsRegisterFile::OutFog || f == VsRegisterFile::OutPointSize;
}

bool readDestination(LineReader& in, VsOpcode op, VsDestination* dest) {
    RegisterRef reg;
    if (!readRegister(in, &reg)) return false;
    if (reg.relative || reg.file == VsRegisterFile::Input || reg.file == VsRegisterFile::Const)
        return in.fail("a temporary, output or address register as the destination");
    if (!readWriteMask(in, &dest->writeMask)) return false;
    if (reg.file == VsRegisterFile::Address && (op != VsOpcode::Mov || dest->writeMask != 0x1))
        return in.fail("'mov a0.x, ...' as the only write to the address register");
    dest->file = reg.file;
    dest->index = static_cast<uint8_t>(reg.index);
    return true;
}

bool readSource(LineReader& in, VsSource* src) {
    in.skipSpace();
    src->negate = in.accept('-');
    RegisterRef reg;
    if (!readRegister(in, &reg)) return false;
    if (isOutput(reg.file) || reg.file == VsRegisterFile::Address)
        return in.fail("an input, temporary or constant register as a source");
    if (!readSwizzle(in, src->swizzle)) return false;
    src->file = reg.file;
    src->index = static_cast<uint8_t>(reg.index);
    src->relative = reg.relative;
    return true;
}

// The vertex unit reads at most one constant register and one input register
// per instruction (the same one may appear more than once).
bool checkReadPorts(LineReader& in, const VsInstruction& ins) {
    const VsSource* firstConst = nullptr;
    const VsSource* firstInput = nullptr;
    for (int i = 0; i < ins.sourceCount; ++i) {
        const VsSource& s = ins.src[i];
        const VsSource** first = s.file == VsRegisterFile::Const   ? &firstConst
                                 : s.file == VsRegisterFile::Input ? &firstInput
                                                                   : nullptr;
        if (!first) continue;
        if (*first && ((*first)->index != s.index || (*first)->relative != s.relative))
            return in.fail(s.file == VsRegisterFile::Const
                               ? "at most one constant register per instruction"
                               : "at most one input register per instruction");
        *first = &s;
    }
    return true;
}

bool readInstruction(LineReader& in, int line, VsInstruction* ins) {
    in.skipSpace();
    std::string name = lowercase(in.word());
    const OpcodeInfo* info = nullptr;
    for (const OpcodeInfo& o : kOpcodes)
        if (name == o.name) info = &o;
    if (!info) return in.fail("an instruction (mov, add, sub, mul, mad, dp3, dp4, rcp, rsq, min, max, "
                              "slt, sge, expp, logp, lit, dst, frc)");
    ins->opcode = info->opcode;
    ins->sourceCount = info->sources;
    ins->line = line;
    if (!readDestination(in, info->opcode, &ins->dest)) return false;
    for (int i = 0; i < info->sources; ++i) {
        in.skipSpace();
        if (!in.accept(','))
            return in.fail(std::to_string(info->sources) + " source operand(s) after '" + name +
                           "' and its destination, separated by ','");
        if (!readSource(in, &ins->src[i])) return false;
    }
    if (!in.atEnd()) return in.fail("the end of the instruction");
    return checkReadPorts(in, *ins);
}

std::string_view stripComment(std::string_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ';') return line.substr(0, i);
        if (line[i] == '/' && i + 1 < line.size() && line[i + 1] == '/') return line.substr(0, i);
    }
    return line;
}

bool isVersionLine(std::string_view line) {
    std::string v = lowercase(line);
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
    size_t start = 0;
    while (start < v.size() && std::isspace(static_cast<unsigned char>(v[start]))) ++start;
    v = v.substr(start);
    return v == "vs.1.1" || v == "vs.1.0";
}

}  // namespace

bool assembleVertexProgram(const char* text, VertexProgram* out, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    error->clear();
    out->code.clear();
    if (!text) {
        *error = "line 1: expected program text";
        return false;
    }
    std::string_view all(text);
    bool sawVersion = false;
    int line = 0;
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t end = all.find('\n', pos);
        if (end == std::string_view::npos) end = all.size();
        std::string_view raw = stripComment(all.substr(pos, end - pos));
        pos = end + 1;
        ++line;
        LineReader in(raw, line, error);
        if (in.atEnd()) continue;
        if (!sawVersion) {
            if (!isVersionLine(raw)) return in.fail("\"vs.1.1\" as the first line");
            sawVersion = true;
            continue;
        }
        if (out->code.size() >= kMaxInstructions) {
            in.fail("at most " + std::to_string(kMaxInstructions) + " instructions");
            out->code.clear();
            return false;
        }
        VsInstruction ins;
        if (!readInstruction(in, line, &ins)) {
            out->code.clear();
            return false;
        }
        out->code.push_back(ins);
    }
    if (!sawVersion) {
        *error = "line " + std::to_string(line) + ": expected \"vs.1.1\" as the first line, found the end of the text";
        return false;
    }
    return true;
}

std::string programLimitsProblem(const VertexProgram& program, uint32_t inputMask, uint32_t constantRegisters) {
    for (const VsInstruction& ins : program.code) {
        for (int i = 0; i < ins.sourceCount; ++i) {
            const VsSource& s = ins.src[i];
            const std::string at = "line " + std::to_string(ins.line) + ": ";
            if (s.file == VsRegisterFile::Input && !(inputMask & (1u << s.index)))
                return at + "reads v" + std::to_string(s.index) + ", which the vertex format does not feed";
            if (s.file == VsRegisterFile::Const && !s.relative && s.index >= constantRegisters)
                return at + "reads c" + std::to_string(s.index) + ", past the " + std::to_string(constantRegisters) +
                       " constant registers there are";
        }
    }
    return {};
}

}  // namespace q::gpu
