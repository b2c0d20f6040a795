// The stored fields of an effect's parameter record, declared once per kind.
//
// Each kind lists its fields in one table of FieldBinding<Form>: name (the
// control's or value's name), byte offset, type, the range its controls can
// produce, and the member of the effect object it mirrors. From that table:
//   - get_parameters writes the record (write_fields),
//   - put_parameters reads it by field name (field_of, rec_get_* below),
//   - tonewarp-preset shows and builds presets (the FieldDecl view),
//   - the round-trip tests check every field of every kind.
//
// Example (one line per field):
//   TW_FIELD(Tgain_form, mono_gain).at(0).range(kGainMin, kGainMax).mirrors("ScrollBar_Gain_Mono"),
//   TW_FIELD(Tgain_form, ScrollBar_Gain_Mono).at(24).bar(kVolumeBar),
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "engine/effect_types.h"
#include "fx/param_record.h"
#include "ui/check_box.h"
#include "ui/control_family.h"
#include "ui/scroll_bar.h"

namespace tw {

enum class FieldType {
    Position,       // 32-bit int position of a bar
    BytePosition,   // 8-bit position of a bar (0..255)
    Int,            // 32-bit int state value
    Float,          // 32-bit float state value
    Flag,           // one byte, 0 or 1 (any non-zero reads as checked)
    Marker,         // 32-bit int telling which fields a record carries
    Text,           // a NUL-terminated UTF-8 string, one byte per element
};

// Bytes one element of a field of this type takes.
constexpr int field_type_size(FieldType t) {
    return (t == FieldType::BytePosition || t == FieldType::Flag || t == FieldType::Text) ? 1 : 4;
}

// A field as tools and tests see it, without the effect class.
struct FieldDecl {
    const char* name = "";   // the control's or value's name (an array: the family's prefix)
    int offset = 0;          // byte offset of element 0 inside the parameter record
    FieldType type = FieldType::Int;
    double min = 0;          // range the controls can produce (Marker: min = max = the marker)
    double max = 0;
    int count = 1;           // elements, consecutive; > 1 for a row of controls or values
    int index_base = 0;      // number in the name of element 0 ("ScrollBar0" or "spSkinScrollBar1")
    const char* mirrors = nullptr;   // a value's control, whose handler sets it

    constexpr int element_size() const { return field_type_size(type); }
    constexpr int element_offset(int i) const { return offset + i * element_size(); }
    constexpr int end() const { return offset + count * element_size(); }
    constexpr bool is_position() const { return type == FieldType::Position || type == FieldType::BytePosition; }
};

// ---- Record access by declared field (any thread; the record is the caller's).

inline float rec_get_f32(const ParamRecord& r, const FieldDecl& f, int i = 0) {
    return rec_get_f32(r, f.element_offset(i));
}
inline std::int32_t rec_get_i32(const ParamRecord& r, const FieldDecl& f, int i = 0) {
    return rec_get_i32(r, f.element_offset(i));
}
inline bool rec_get_flag(const ParamRecord& r, const FieldDecl& f, int i = 0) {
    return rec_get_u8(r, f.element_offset(i)) != 0;
}
// A stored bar position, whatever its width.
inline std::int32_t rec_get_position(const ParamRecord& r, const FieldDecl& f, int i = 0) {
    return f.type == FieldType::BytePosition ? rec_get_u8(r, f.element_offset(i)) : rec_get_i32(r, f.element_offset(i));
}
// Writes one element as the field's type stores it (v is the exact value).
inline void rec_set_field(ParamRecord& r, const FieldDecl& f, int i, double v) {
    const int off = f.element_offset(i);
    switch (f.type) {
        case FieldType::Float: rec_set_f32(r, off, static_cast<float>(v)); break;
        case FieldType::BytePosition:
        case FieldType::Text:
        case FieldType::Flag: rec_set_u8(r, off, static_cast<std::uint8_t>(v)); break;
        default: rec_set_i32(r, off, static_cast<std::int32_t>(v)); break;
    }
}
// Reads one element as the exact value the record holds.
inline double rec_get_field(const ParamRecord& r, const FieldDecl& f, int i) {
    const int off = f.element_offset(i);
    switch (f.type) {
        case FieldType::Float: return rec_get_f32(r, off);
        case FieldType::BytePosition:
        case FieldType::Text:
        case FieldType::Flag: return rec_get_u8(r, off);
        default: return rec_get_i32(r, off);
    }
}

// ---- Reading a member of an effect object as the value its field stores.

namespace field_detail {
inline double value_of(const std::atomic<float>& v) { return v.load(std::memory_order_relaxed); }
inline double value_of(const std::atomic<std::int32_t>& v) { return v.load(std::memory_order_relaxed); }
inline double value_of(const std::atomic<bool>& v) { return v.load(std::memory_order_relaxed) ? 1 : 0; }
inline double value_of(float v) { return v; }
inline double value_of(std::int32_t v) { return v; }
inline double value_of(bool v) { return v ? 1 : 0; }
inline double value_of(std::uint8_t v) { return v; }
inline double value_of(const ui::ScrollBar& b) { return b.position(); }
inline double value_of(const ui::CheckBox& c) { return c.checked() ? 1 : 0; }

template <class T> struct Element { using type = T; static constexpr int count = 1; };
template <class T, std::size_t N> struct Element<std::array<T, N>> { using type = T; static constexpr int count = N; };
template <class T, int N> struct Element<ui::ControlFamily<T, N>> { using type = T; static constexpr int count = N; };

template <class T> double element_value(const T& m, int) { return value_of(m); }
template <class T, std::size_t N> double element_value(const std::array<T, N>& m, int i) { return value_of(m[i]); }
template <class T, int N> double element_value(const ui::ControlFamily<T, N>& m, int i) { return value_of(m[i]); }

template <class E> constexpr FieldType default_type() {
    if constexpr (std::is_same_v<E, std::atomic<float>> || std::is_same_v<E, float>) return FieldType::Float;
    else if constexpr (std::is_same_v<E, ui::ScrollBar>) return FieldType::Position;
    else if constexpr (std::is_same_v<E, ui::CheckBox> || std::is_same_v<E, std::atomic<bool>> ||
                       std::is_same_v<E, bool>)
        return FieldType::Flag;
    else return FieldType::Int;
}

template <class M> struct MemberOf;
template <class C, class T> struct MemberOf<T C::*> { using form = C; using type = T; };

template <auto Member>
double read_member(const void* form, int i) {
    using Info = MemberOf<decltype(Member)>;
    return element_value(static_cast<const typename Info::form*>(form)->*Member, i);
}

// A member of the parameters a form keeps for its kernel (form.params.member).
template <class Form, auto Member>
double read_param(const void* form, int i) {
    return element_value(static_cast<const Form*>(form)->params.*Member, i);
}
}  // namespace field_detail

// A declared field bound to the member of Form it mirrors. Built with
// TW_FIELD(Form, member) or marker_field<Form>(offset, value).
template <class Form>
struct FieldBinding {
    using form_type = Form;
    FieldDecl decl;
    double (*read)(const void* form, int index) = nullptr;   // null for a marker

    constexpr FieldBinding at(int offset) const { auto b = *this; b.decl.offset = offset; return b; }
    constexpr FieldBinding range(double lo, double hi) const { auto b = *this; b.decl.min = lo; b.decl.max = hi; return b; }
    constexpr FieldBinding bar(const ui::BarRange& r) const { return range(r.min, r.max); }
    constexpr FieldBinding flag() const { auto b = *this; b.decl.min = 0; b.decl.max = 1; return b; }
    constexpr FieldBinding mirrors(const char* control) const { auto b = *this; b.decl.mirrors = control; return b; }
    // Positions stored one byte each.
    constexpr FieldBinding bytes() const { auto b = *this; b.decl.type = FieldType::BytePosition; return b; }
    constexpr FieldBinding numbered_from(int base) const { auto b = *this; b.decl.index_base = base; return b; }

    // The value element i of this field has in `form` (as the record stores it).
    double value(const Form& form, int i = 0) const { return read != nullptr ? read(&form, i) : decl.min; }
};

template <auto Member>
constexpr auto bind_field(const char* name) {
    using Info = field_detail::MemberOf<decltype(Member)>;
    using Elem = field_detail::Element<typename Info::type>;
    FieldBinding<typename Info::form> b;
    b.decl.name = name;
    b.decl.type = field_detail::default_type<typename Elem::type>();
    b.decl.count = Elem::count;
    if (b.decl.type == FieldType::Flag) b.decl.max = 1;
    b.read = &field_detail::read_member<Member>;
    return b;
}

// The field holding member `member` of the kernel parameters a form keeps
// (KernelHost::params), named after it.
template <class Form, auto Member>
constexpr auto bind_param_field(const char* name) {
    using Info = field_detail::MemberOf<decltype(Member)>;
    using Elem = field_detail::Element<typename Info::type>;
    FieldBinding<Form> b;
    b.decl.name = name;
    b.decl.type = field_detail::default_type<typename Elem::type>();
    b.decl.count = Elem::count;
    if (b.decl.type == FieldType::Flag) b.decl.max = 1;
    b.read = &field_detail::read_param<Form, Member>;
    return b;
}

// A text field over a std::array<std::uint8_t, N> member of Form (N bytes,
// NUL-terminated, so N - 1 bytes of text at most).
template <auto Member>
constexpr auto bind_text_field(const char* name) {
    auto b = bind_field<Member>(name);
    b.decl.type = FieldType::Text;
    b.decl.min = 0;
    b.decl.max = 255;
    return b;
}

// A 32-bit marker word: always written as `value`.
template <class Form>
constexpr FieldBinding<Form> marker_field(int offset, std::int32_t value, const char* name = "marker") {
    FieldBinding<Form> b;
    b.decl = FieldDecl{name, offset, FieldType::Marker, static_cast<double>(value), static_cast<double>(value)};
    return b;
}

// Declares the field holding member `member` of Form, named after it.
#define TW_FIELD(Form, member) ::tw::bind_field<&Form::member>(#member)
// Declares the text field held in byte array `member` of Form.
#define TW_TEXT(Form, member) ::tw::bind_text_field<&Form::member>(#member)
// Declares the field holding member `member` of Form's kernel parameters
// (Form::params.member), named after it.
#define TW_PARAM(Form, member) \
    ::tw::bind_param_field<Form, &std::remove_cvref_t<decltype(std::declval<Form&>().params)>::member>(#member)

// ---- Using a table.

// get_parameters: writes every declared field of `form` into the record and
// nothing else. UI thread.
template <class Form, std::size_t N>
void write_fields(const Form& form, const FieldBinding<Form> (&table)[N], ParamRecord& r) {
    for (const FieldBinding<Form>& f : table)
        for (int i = 0; i < f.decl.count; ++i) rec_set_field(r, f.decl, i, f.value(form, i));
}

// The declaration of the field called `name`; a name not in the table does
// not compile. Any thread.
template <class Form, std::size_t N>
consteval FieldDecl field_of(const FieldBinding<Form> (&table)[N], std::string_view name) {
    for (const FieldBinding<Form>& f : table)
        if (name == f.decl.name) return f.decl;
    throw "no field of that name";
}

// The table's declarations without the bindings, for tools and tests.
template <class Form, std::size_t N>
constexpr std::array<FieldDecl, N> declarations_of(const FieldBinding<Form> (&table)[N]) {
    std::array<FieldDecl, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = table[i].decl;
    return out;
}

}  // namespace tw
