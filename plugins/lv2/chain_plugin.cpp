#include "chain_plugin.h"

#include <lv2/atom/util.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "block_io.h"

namespace tw::lv2 {

ChainPlugin::ChainPlugin(const PluginInfo& info, double rate, const char* bundle_path, const HostFeatures& features)
    : rate_(static_cast<std::int32_t>(std::lround(rate))),
      channels_(info.channels),
      bundle_(bundle_path != nullptr ? bundle_path : ""),
      host_(features) {
    // An empty record: sixteen empty rows, the signal passes unchanged.
    live_ = new ChainSlots(newest_);
    buffer_.assign(static_cast<std::size_t>(host_.max_block) * channels_, 0.0f);
}

ChainPlugin::~ChainPlugin() { delete live_; }

std::string ChainPlugin::bundled_preset_path(int n) const {
    std::string dir = bundle_;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + "presets/F" + std::to_string(n) + ".pre";
}

void ChainPlugin::connect_port(std::uint32_t port, void* data) {
    const auto audio = static_cast<std::uint32_t>(channels_);
    if (port < audio) in_[port] = static_cast<const float*>(data);
    else if (port < 2 * audio) out_[port - audio] = static_cast<float*>(data);
    else if (port == 2 * audio) program_ = static_cast<const float*>(data);
    else if (port == 2 * audio + 1) control_ = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == 2 * audio + 2) notify_ = static_cast<LV2_Atom_Sequence*>(data);
}

std::unique_ptr<ChainSlots> ChainPlugin::load_file(const std::string& path) {
    PresetRecord record;
    std::string why;
    if (!read_preset_record(path, record, &why)) {
        std::fprintf(stderr, "Tonewarp chain: %s; the chain stays as it was.\n", why.c_str());
        return nullptr;
    }
    auto slots = std::make_unique<ChainSlots>(record);
    std::lock_guard lock(record_mutex_);
    newest_ = record;
    newest_path_ = path;
    return slots;
}

void ChainPlugin::activate() {
    if (program_ == nullptr) return;
    const float v = *program_;
    if (v == handed_on_program_) return;
    handed_on_program_ = v;
    const long n = std::lround(v);
    if (n < 1 || n > 12) return;
    if (auto slots = load_file(bundled_preset_path(static_cast<int>(n)))) {
        delete live_;
        live_ = slots.release();
    }
}

void ChainPlugin::read_patch_messages() {
    if (control_ == nullptr || host_.map == nullptr || host_.schedule == nullptr) return;
    LV2_ATOM_SEQUENCE_FOREACH(control_, ev) {
        if (ev->body.type != host_.atom_object && ev->body.type != host_.atom_blank) continue;
        const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
        if (obj->body.otype != host_.patch_set) continue;
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(obj, host_.patch_property, &property, host_.patch_value, &value, 0);
        if (property == nullptr || property->type != host_.atom_urid ||
            reinterpret_cast<const LV2_Atom_URID*>(property)->body != host_.preset_parameter)
            continue;
        if (value == nullptr || value->type != host_.atom_path || value->size == 0) continue;
        Message m{};
        m.job = Job::LoadPath;
        const std::size_t n = std::min<std::size_t>(value->size, sizeof m.path - 1);
        std::memcpy(m.path, LV2_ATOM_BODY_CONST(value), n);
        m.path[n] = '\0';
        host_.schedule->schedule_work(host_.schedule->handle, sizeof m, &m);
    }
}

void ChainPlugin::write_empty_notify() {
    if (notify_ == nullptr || host_.map == nullptr) return;
    if (notify_->atom.size < sizeof(LV2_Atom_Sequence_Body)) return;
    notify_->atom.type = host_.atom_sequence;
    notify_->atom.size = sizeof(LV2_Atom_Sequence_Body);
    notify_->body.unit = 0;
    notify_->body.pad = 0;
}

void ChainPlugin::run(std::uint32_t frames) {
    write_empty_notify();
    read_patch_messages();
    if (program_ != nullptr && host_.schedule != nullptr && *program_ != handed_on_program_) {
        const long n = std::lround(*program_);
        Message m{};
        m.job = Job::LoadProgram;
        m.number = static_cast<std::uint32_t>(n);
        if (n < 1 || n > 12 || host_.schedule->schedule_work(host_.schedule->handle, sizeof m, &m) == LV2_WORKER_SUCCESS)
            handed_on_program_ = *program_;
    }
    for (int c = 0; c < channels_; ++c)
        if (in_[c] == nullptr || out_[c] == nullptr) return;
    FlushToZeroScope ftz;
    for (std::uint32_t at = 0; at < frames; at += host_.max_block) {
        const std::uint32_t n = std::min(host_.max_block, frames - at);
        interleave_in(in_, channels_, at, n, buffer_.data());
        live_->process(static_cast<std::int32_t>(n), rate_, channels_, buffer_.data());
        interleave_out(buffer_.data(), channels_, at, n, out_);
    }
}

LV2_Worker_Status ChainPlugin::work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                                    std::uint32_t size, const void* data) {
    if (size != sizeof(Message)) return LV2_WORKER_ERR_UNKNOWN;
    Message m;
    std::memcpy(&m, data, sizeof m);
    if (m.job == Job::Free) {
        delete m.slots;
        return LV2_WORKER_SUCCESS;
    }
    std::unique_ptr<ChainSlots> slots;
    if (m.job == Job::LoadProgram) slots = load_file(bundled_preset_path(static_cast<int>(m.number)));
    else if (m.job == Job::LoadPath) slots = load_file(std::string(m.path, strnlen(m.path, sizeof m.path)));
    if (slots == nullptr) return LV2_WORKER_SUCCESS;
    ChainSlots* ready = slots.get();
    if (respond(handle, sizeof ready, &ready) != LV2_WORKER_SUCCESS) return LV2_WORKER_ERR_NO_SPACE;
    slots.release();
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status ChainPlugin::work_response(std::uint32_t size, const void* data) {
    if (size != sizeof(ChainSlots*)) return LV2_WORKER_ERR_UNKNOWN;
    ChainSlots* ready = nullptr;
    std::memcpy(&ready, data, sizeof ready);
    Message m{};
    m.job = Job::Free;
    m.slots = live_;
    live_ = ready;
    // The old rows are deleted on the worker; should its ring be full they
    // stay allocated (a leak, never a free on this thread).
    host_.schedule->schedule_work(host_.schedule->handle, sizeof m, &m);
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status ChainPlugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (host_.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    std::lock_guard lock(record_mutex_);
    return store(handle, host_.chain_record, newest_.bytes.data(), newest_.bytes.size(), host_.atom_chunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status ChainPlugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    if (host_.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    std::size_t size = 0;
    std::uint32_t type = 0, flags = 0;
    const void* data = retrieve(handle, host_.chain_record, &size, &type, &flags);
    if (data == nullptr) return LV2_STATE_SUCCESS;
    if (type != host_.atom_chunk || size != kPresetRecordBytes) return LV2_STATE_ERR_BAD_TYPE;
    PresetRecord record;
    std::memcpy(record.bytes.data(), data, size);
    auto slots = std::make_unique<ChainSlots>(record);
    {
        std::lock_guard lock(record_mutex_);
        newest_ = record;
        newest_path_.clear();
    }
    // No block runs during a restore (the host keeps it apart from run()).
    delete live_;
    live_ = slots.release();
    if (program_ != nullptr) handed_on_program_ = *program_;
    return LV2_STATE_SUCCESS;
}

}  // namespace tw::lv2
