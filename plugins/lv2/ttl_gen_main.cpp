// tonewarp-lv2-ttl: writes the LV2 bundle's description (manifest.ttl, one
// .ttl per plugin, the chain's presets) from the kinds' declarations: each
// kind's window is made once and its controls become the control ports.
//
//   tonewarp-lv2-ttl BUNDLE_DIR BINARY_FILE_NAME [PRESET.pre ...]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fx/kinds.h"
#include "plugin_list.h"
#include "platform/program_files.h"
#include "presets/preset_file.h"

namespace {

using tw::lv2::ControlPort;
using tw::lv2::PluginInfo;
using tw::lv2::PortControl;

const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

// A Turtle string literal.
std::string lit(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') { out += "\\n"; continue; }
        out += c;
    }
    return out + "\"";
}

std::string base64(const std::uint8_t* p, std::size_t n) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < n; i += 3) {
        const unsigned v = (p[i] << 16) | ((i + 1 < n ? p[i + 1] : 0) << 8) | (i + 2 < n ? p[i + 2] : 0);
        out += k[(v >> 18) & 63];
        out += k[(v >> 12) & 63];
        out += i + 1 < n ? k[(v >> 6) & 63] : '=';
        out += i + 2 < n ? k[v & 63] : '=';
    }
    return out;
}

struct BundledPreset {
    int number = 0;          // F1..F12 -> 1..12
    std::string label;       // file name without .pre
    tw::PresetRecord record;
};

void audio_ports(std::ostream& o, int channels, int& index) {
    const char* ins[2][2] = {{"in_l", "In left"}, {"in_r", "In right"}};
    const char* outs[2][2] = {{"out_l", "Out left"}, {"out_r", "Out right"}};
    for (int dir = 0; dir < 2; ++dir)
        for (int c = 0; c < channels; ++c) {
            const char* sym = channels == 1 ? (dir == 0 ? "in" : "out") : (dir == 0 ? ins[c][0] : outs[c][0]);
            const char* name = channels == 1 ? (dir == 0 ? "In" : "Out") : (dir == 0 ? ins[c][1] : outs[c][1]);
            o << (index == 0 ? "    lv2:port [\n" : " , [\n") << "        a lv2:AudioPort , "
              << (dir == 0 ? "lv2:InputPort" : "lv2:OutputPort") << " ;\n        lv2:index " << index
              << " ;\n        lv2:symbol " << lit(sym) << " ;\n        lv2:name " << lit(name) << "\n    ]";
            ++index;
        }
}

void control_port(std::ostream& o, const ControlPort& p, int index) {
    o << " , [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " << index
      << " ;\n        lv2:symbol " << lit(p.symbol) << " ;\n        lv2:name " << lit(p.name)
      << " ;\n        lv2:default " << p.start << " ;\n        lv2:minimum " << p.min << " ;\n        lv2:maximum "
      << p.max;
    if (p.control == PortControl::Check) {
        o << " ;\n        lv2:portProperty lv2:toggled";
    } else {
        o << " ;\n        lv2:portProperty lv2:integer";
        if (!p.items.empty()) {
            o << " , lv2:enumeration";
            for (std::size_t i = 0; i < p.items.size(); ++i)
                o << " ;\n        lv2:scalePoint [ rdfs:label " << lit(p.items[i].empty() ? "(empty)" : p.items[i])
                  << " ; rdf:value " << i << " ]";
        }
    }
    if (!p.unit.empty()) o << " ;\n        units:unit units:" << p.unit;
    if (!p.comment.empty()) o << " ;\n        rdfs:comment " << lit(p.comment);
    o << "\n    ]";
}

void plugin_head(std::ostream& o, const PluginInfo& info) {
    o << kPrefixes << "<" << info.uri << ">\n    a lv2:Plugin ;\n    doap:name " << lit(info.label)
      << " ;\n    doap:license <https://spdx.org/licenses/GPL-3.0-or-later> ;\n"
      << "    lv2:project <" << tw::lv2::kUriBase << "> ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , work:schedule , urid:map , opts:options ;\n"
      << "    lv2:extensionData work:interface , state:interface ;\n"
      << "    opts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n";
}

bool write_file(const std::filesystem::path& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    f.close();
    if (!f) {
        std::fprintf(stderr, "tonewarp-lv2-ttl: cannot write %s.\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tonewarp-lv2-ttl BUNDLE_DIR BINARY_FILE_NAME [PRESET.pre ...]\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const std::string binary = argv[2];
    std::error_code ec;
    std::filesystem::create_directories(dir / "presets", ec);
    // Kinds that keep files of their own (a playback list) keep them in a
    // scratch folder beside this program while their windows are made here.
    const std::filesystem::path scratch = std::filesystem::path(tw::platform::executable_folder()) / "ttl-home";
    std::filesystem::create_directories(scratch, ec);
    tw::platform::set_program_folder(scratch.string());

    std::vector<BundledPreset> presets;
    for (int i = 3; i < argc; ++i) {
        BundledPreset b;
        const std::filesystem::path p = argv[i];
        b.label = p.stem().string();
        if (b.label.size() < 2 || b.label[0] != 'F') continue;
        b.number = std::atoi(b.label.c_str() + 1);
        if (b.number < 1 || b.number > 12) continue;
        std::string why;
        if (!tw::read_preset_record(p.string(), b.record, &why)) {
            std::fprintf(stderr, "tonewarp-lv2-ttl: %s.\n", why.c_str());
            return 1;
        }
        std::filesystem::copy_file(p, dir / "presets" / ("F" + std::to_string(b.number) + ".pre"),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "tonewarp-lv2-ttl: cannot copy %s: %s.\n", p.c_str(), ec.message().c_str());
            return 1;
        }
        presets.push_back(std::move(b));
    }
    std::sort(presets.begin(), presets.end(), [](const auto& a, const auto& b) { return a.number < b.number; });

    std::ostringstream manifest;
    manifest << kPrefixes;
    for (const PluginInfo& info : tw::lv2::plugin_list()) {
        manifest << "<" << info.uri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << binary
                 << "> ;\n    rdfs:seeAlso <" << info.slug << ".ttl> .\n\n";
        std::ostringstream o;
        plugin_head(o, info);
        int index = 0;
        if (info.kind == tw::lv2::kChainKind) {
            o << "    patch:writable <" << tw::lv2::kPresetParameter << "> ;\n";
            audio_ports(o, info.channels, index);
            o << " , [\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " << index++
              << " ;\n        lv2:symbol " << lit(tw::lv2::kProgramSymbol)
              << " ;\n        lv2:name \"Bundled preset\" ;\n        lv2:default 0 ;\n        lv2:minimum 0 ;\n"
              << "        lv2:maximum 12 ;\n        lv2:portProperty lv2:integer , lv2:enumeration ;\n"
              << "        lv2:scalePoint [ rdfs:label \"none (the loaded file or the session's)\" ; rdf:value 0 ]";
            for (const BundledPreset& b : presets)
                o << " ;\n        lv2:scalePoint [ rdfs:label " << lit(b.label) << " ; rdf:value " << b.number << " ]";
            o << " ;\n        rdfs:comment \"Loads the bundled preset F1..F12 when changed\"\n    ]";
            o << " , [\n        a lv2:InputPort , atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
              << "        atom:supports patch:Message ;\n        lv2:designation lv2:control ;\n"
              << "        lv2:portProperty lv2:connectionOptional ;\n        lv2:index "
              << index++ << " ;\n        lv2:symbol \"control\" ;\n        lv2:name \"Control\"\n    ]";
            o << " , [\n        a lv2:OutputPort , atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
              << "        atom:supports patch:Message ;\n        lv2:designation lv2:control ;\n"
              << "        lv2:portProperty lv2:connectionOptional ;\n        lv2:index "
              << index++ << " ;\n        lv2:symbol \"notify\" ;\n        lv2:name \"Notify\"\n    ] .\n\n";
            o << "<" << tw::lv2::kPresetParameter << ">\n    a lv2:Parameter ;\n    rdfs:label \"Preset file\" ;\n"
              << "    rdfs:comment \"A Tonewarp preset (.pre): the 16 rows of the main window\" ;\n"
              << "    rdfs:range atom:Path .\n";
            // The bundled presets of this layout.
            std::ostringstream ps;
            ps << kPrefixes << "<" << tw::lv2::kChainRecordKey
               << ">\n    a rdf:Property ;\n    rdfs:label \"Preset record\" ;\n"
               << "    rdfs:comment \"The whole 13188-byte preset record of the sixteen rows\" .\n\n";
            for (const BundledPreset& b : presets) {
                const std::string uri = info.uri + "/preset/f" + std::to_string(b.number);
                manifest << "<" << uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << info.uri
                         << "> ;\n    rdfs:label " << lit(b.label) << " ;\n    rdfs:seeAlso <" << info.slug
                         << "-presets.ttl> .\n\n";
                ps << "<" << uri << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << info.uri << "> ;\n    rdfs:label "
                   << lit(b.label) << " ;\n    lv2:port [ lv2:symbol " << lit(tw::lv2::kProgramSymbol)
                   << " ; pset:value " << b.number << " ] ;\n    state:state [\n        <" << tw::lv2::kChainRecordKey
                   << "> " << lit(base64(b.record.bytes.data(), b.record.bytes.size())) << "^^xsd:base64Binary\n    ] .\n\n";
            }
            if (!write_file(dir / (info.slug + "-presets.ttl"), ps.str())) return 1;
        } else {
            const tw::KindDecl* decl = tw::kind_decl(info.kind);
            std::unique_ptr<tw::EffectInstance> inst(decl->entries.create());
            auto* form = tw::effect_form(inst.get());
            audio_ports(o, info.channels, index);
            for (const ControlPort& p : tw::lv2::control_ports(*form)) control_port(o, p, index++);
            o << " .\n";
        }
        if (!write_file(dir / (info.slug + ".ttl"), o.str())) return 1;
    }
    manifest << "<" << tw::lv2::kUriBase << ">\n    a doap:Project ;\n    doap:name \"Tonewarp 3\" .\n";
    return write_file(dir / "manifest.ttl", manifest.str()) ? 0 : 1;
}
