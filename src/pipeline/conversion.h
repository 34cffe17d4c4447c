// The conversion of one animation, stage by stage. Each frame passes:
//
//   read      in order     the next source frame, composited as a player
//                          shows it (GIF, WebP: imaging::AnimationReader)
//   render    any thread   resized as asked, the effect, the source's
//                          transparency kept when asked; the writer takes it
//   link      in order     the frame joins the output animation
//   prepare   any thread   the output's colour reduction
//   show      in order     what a player shows before the frame
//   compress  any thread   the output's compressed data
//   append    in order     the data goes into the file; progress
//
// The output stages go through imaging::AnimationWriter, so no stage knows
// the output format. Frames run through the stages on worker threads, at
// most two per worker in flight, so memory does not grow with the frame
// count; the bytes written do not depend on the number of workers.
//
// The read stage takes the frames a TimelineSource picks (a part of the
// source, sampled, faster or slower, bouncing) with their delays.
//
// Where later work plugs in: another source format goes behind
// imaging::AnimationReader (the read stage asks it for frames only); quality
// levels and byte budgets go into imaging::OutputSettings and the writer's
// prepare and compress; a live preview is a writer handed to the
// constructor that shows each linked frame (and may pass it on to a file
// writer).
#pragma once

#include <algorithm>

#include "convert.h"
#include "frame_renderer.h"
#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
#include "imaging/image.h"
#include "timeline.h"

#include <memory>
#include <string>

namespace qf {

// What the read stage hands on: one source frame.
struct SourceFrame {
    int number = 0;             // 1-based, among the frames written
    int sourceNumber = 0;       // 1-based, on the timeline
    int delay = 0;              // hundredths of a second (OutputStep)
    imaging::RgbaImage decoded; // at the source's size
    // The frame kept before this one, when the effect reads it (a still
    // grain) and there is one; else empty.
    imaging::RgbaImage previous;
    // When frames are resized: which picture decoded and previous show,
    // counted from the first frame read and the same for frames that come
    // out alike (see Conversion::Resized); else -1.
    int picture = -1;
    int previousPicture = -1;
};

// One frame written: the timeline frame it shows (0-based) and for how long.
struct OutputStep {
    int position = 0;
    int delay = 0;
};

// The frames written for a timeline: every frameStep-th frame. A frame that
// stands for frames dropped after it shows for all their delays as a browser
// plays them (under two hundredths as a tenth), so the whole plays as long
// as the timeline does; a delay longer than longestDelay is split over the
// same frame repeated.
std::vector<OutputStep> PlanOutput(const std::vector<TimelineFrame>& plan, int frameStep, int longestDelay);

// The render stage hands on a RenderedFrame (frame_renderer.h), the output
// stages the writer's imaging::OutputFrame.

class Conversion {
public:
    // With writer null, the one options.output asks for (made at open, which
    // knows whether repeated frames are merged).
    explicit Conversion(const ConvertOptions& options, std::unique_ptr<imaging::AnimationWriter> writer = {});
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Opens input, decides the size frames are rendered at, reports
    // progress 0, opens the writer at output and decides how many workers
    // the memory allows. Fails with error naming the file at fault; frames
    // that not even one worker has the memory for are refused here, before
    // any work.
    bool open(const std::string& input, const std::string& output, imaging::Error* error);

    // Converts every frame and completes the output file. On failure or
    // cancel the output stays as it was and error says why (Cancelled when
    // progress asked to stop).
    bool run(imaging::Error* error);

    // The damage the source's frames were read despite (after open, and
    // after run for damage found in decoding).
    const imaging::AnimationDamage& damage() const { return damage_; }

private:
    struct Frame; // a frame in flight: its SourceFrame, RenderedFrame and OutputFrame
    struct Workers;
    class FramePool;
    class Resized;
    class RunState;

    // The stages, in the order a frame passes them, each given what the
    // stage before handed on. read returns false when there is no frame
    // left (or on failure); a stage skips a frame once the conversion is
    // stopping.
    bool read(SourceFrame& frame);
    void render(const SourceFrame& source, RenderedFrame& rendered, imaging::OutputFrame& output);
    void link(const SourceFrame& source, imaging::OutputFrame& output);
    void prepare(imaging::OutputFrame& output);
    void show(imaging::OutputFrame& output);
    void compress(imaging::OutputFrame& output);
    void append(const SourceFrame& source, imaging::OutputFrame& output);

    // Runs one of the writer's stages, failing the conversion with its error
    // or, when memory runs out, naming the input.
    template <typename Stage>
    void guard(const Stage& stage);
    void reportFrameDone(int number);

    ConvertOptions options_;
    FrameLook look_;
    std::string input_;
    std::string output_;
    std::unique_ptr<imaging::AnimationReader> reader_;
    std::unique_ptr<TimelineSource> source_;
    imaging::AnimationInfo info_; // at the render size
    imaging::Size size_;
    imaging::AnimationDamage damage_;
    std::unique_ptr<imaging::AnimationWriter> writer_;
    int threads_ = 1;
    int reported_ = 0; // frames reported done
    int nextNumber_ = 1;
    std::vector<OutputStep> steps_;
    int readPosition_ = -1;       // the timeline frame read last
    imaging::RgbaImage held_;     // that frame, while it is to be repeated
    imaging::RgbaImage skipped_;  // a frame dropped (ConvertOptions::frameStep)
    imaging::RgbaImage lastKept_; // the frame read last, when the effect reads the one before
    imaging::RgbaImage lastRead_; // the picture read last, when frames are resized
    int picture_ = -1;            // its number (SourceFrame::picture)
    int keptFrames() const { return static_cast<int>(steps_.size()); }
    std::unique_ptr<RunState> run_;
    std::unique_ptr<FramePool> pool_;
    std::unique_ptr<Workers> workers_;
    std::unique_ptr<Resized> resized_; // when the frames are resized
};

} // namespace qf
