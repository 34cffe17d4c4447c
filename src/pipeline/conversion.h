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
#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
#include "imaging/image.h"
#include "picture.h"
#include "timeline.h"

#include <memory>
#include <string>

namespace qf {

// What the read stage hands on: one source frame.
struct SourceFrame {
    int number = 0;             // 1-based, among the frames kept
    int sourceNumber = 0;       // in the source
    int delay = 0;              // hundredths of a second, with those of the frames dropped after it
    imaging::RgbaImage decoded; // at the source's size
};

// What the render stage hands on: the frame as it is written.
struct RenderedFrame {
    imaging::RgbaImage resized;   // the source at the render size, when that differs
    Picture source;               // what the engine reads
    Picture rendered;             // what the engine made of it
    imaging::RgbaImage withAlpha; // rendered with the source's transparency
    imaging::ImageView picture;   // what is written: rendered or withAlpha
};

// The output stages hand on the writer's imaging::OutputFrame.

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
    class RunState;

    // The stages, in the order a frame passes them. read returns null when
    // there is no frame left (or on failure); a stage skips a frame once the
    // conversion is stopping.
    Frame* read();
    void render(Frame& frame);
    void link(Frame& frame);
    void prepare(Frame& frame);
    void show(Frame& frame);
    void compress(Frame& frame);
    void append(Frame& frame);

    // Runs one of the writer's stages, failing the conversion with its error
    // or, when memory runs out, naming the input.
    template <typename Stage>
    void guard(const Stage& stage);
    void reportFrameDone(int number);

    ConvertOptions options_;
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
    int nextSource_ = 1;
    imaging::RgbaImage skipped_; // a frame dropped (ConvertOptions::frameStep)
    int keptFrames() const
    {
        const int step = std::max(1, options_.frameStep);
        return (info_.frameCount + step - 1) / step;
    }
    std::unique_ptr<RunState> run_;
    std::unique_ptr<FramePool> pool_;
    std::unique_ptr<Workers> workers_;
};

} // namespace qf
