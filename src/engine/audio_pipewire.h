// The PipeWire backend, written on libpipewire-0.3. Devices are "PipeWire:
// default" (the server's default sink, as its session manager names it) and
// every audio sink of the graph, shown as "PipeWire: " + its description.
// Sources are not offered while the capture has the gap noted below (the
// code for them is in place: start_capture links a source the same way).
//
// Capture and playback share one filter node, "tonewarp", with ports
// "input_FL" / "input_FR" and "output_FL" / "output_FR" linked to the
// device's ports; in each graph cycle the capture side runs first, then the
// playback side, on PipeWire's real-time data thread: what comes in is
// played in the same cycle (no queue, no added period).
//
// The node asks the graph for a quantum of the stream's buffer size
// (TONEWARP_PW_QUANTUM overrides it: 64..1024 frames) at the stream's rate.
// The graph may run another quantum (a client that asks for less, a quantum
// forced by the user, a change while the stream runs): each cycle hands on
// whatever it brings, in pieces of at most 4096 frames. graph_frames() and
// graph_rate() say what the graph runs now; the latencies are the ones
// PipeWire reports for the node's ports.
//
// Known gap (0.3.65): the input ports get no buffer after the first cycle,
// whatever they are linked to (a null source, a JACK client), so the capture
// reads silence; the output plays.
//
// A server that goes away ends the stream: stream_lost() turns true and the
// next stop closes what is left without waiting on the server.
#pragma once

#include <memory>

#include "engine/audio_backend.h"

namespace tw::audio {

// Device names begin with this.
inline constexpr const char* kPipeWireLabel = "PipeWire: ";
// The entry that follows the server's default source and sink.
inline constexpr const char* kPipeWireDefault = "PipeWire: default";

// UI thread.
std::unique_ptr<AudioBackend> make_pipewire_backend();

}  // namespace tw::audio
