#include "sound_track.h"

#include "imaging/errors.h"
#include "imaging/video/clip_io.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <dlfcn.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>

namespace qf::imaging {

namespace {

constexpr int kSampleRate = 48000;
constexpr std::int64_t kMicros = 1000000;

// libavfilter, with the thirty-odd libraries it needs (speech voices,
// Vulkan, linear algebra), is loaded the first time a sound is cut, not
// with the program: linked in, loading them cost every run, clip or GIF,
// some 20 ms of processor time before its first frame.
struct FilterLibrary {
    void* handle = nullptr;
    std::string failure; // why it could not be loaded; empty once loaded
    decltype(&avfilter_graph_alloc) graphAlloc = nullptr;
    decltype(&avfilter_graph_free) graphFree = nullptr;
    decltype(&avfilter_get_by_name) byName = nullptr;
    decltype(&avfilter_graph_create_filter) createFilter = nullptr;
    decltype(&avfilter_inout_alloc) inoutAlloc = nullptr;
    decltype(&avfilter_inout_free) inoutFree = nullptr;
    decltype(&avfilter_graph_parse_ptr) parse = nullptr;
    decltype(&avfilter_graph_config) config = nullptr;
    decltype(&av_buffersink_set_frame_size) setFrameSize = nullptr;
    decltype(&av_buffersrc_add_frame_flags) addFrame = nullptr;
    decltype(&av_buffersink_get_frame) getFrame = nullptr;
};

FilterLibrary LoadFilterLibrary()
{
    // The library of the headers this was built with.
    const char* const name = "libavfilter.so." AV_STRINGIFY(LIBAVFILTER_VERSION_MAJOR);
    FilterLibrary library;
    library.handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!library.handle) {
        const char* why = dlerror();
        library.failure = std::string(name) + " cannot be loaded (" + (why ? why : "not found") + ")";
        return library;
    }
    const auto symbol = [&](auto& function, const char* symbolName) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library.handle, symbolName));
        if (!function && library.failure.empty())
            library.failure = std::string(name) + " has no " + symbolName;
    };
    symbol(library.graphAlloc, "avfilter_graph_alloc");
    symbol(library.graphFree, "avfilter_graph_free");
    symbol(library.byName, "avfilter_get_by_name");
    symbol(library.createFilter, "avfilter_graph_create_filter");
    symbol(library.inoutAlloc, "avfilter_inout_alloc");
    symbol(library.inoutFree, "avfilter_inout_free");
    symbol(library.parse, "avfilter_graph_parse_ptr");
    symbol(library.config, "avfilter_graph_config");
    symbol(library.setFrameSize, "av_buffersink_set_frame_size");
    symbol(library.addFrame, "av_buffersrc_add_frame_flags");
    symbol(library.getFrame, "av_buffersink_get_frame");
    return library;
}

// The library, loaded once for the whole program (and never unloaded, as
// libraries it loads register themselves at exit).
const FilterLibrary& Filters()
{
    static const FilterLibrary library = LoadFilterLibrary();
    return library;
}

struct GraphCloser {
    void operator()(AVFilterGraph* graph) const { Filters().graphFree(&graph); }
};

// atempo takes factors from 0.5 to 2 at a time: 0.25 is 0.5 twice.
std::string TempoFilters(double speed)
{
    std::string chain;
    char step[48];
    while (speed > 2.0) {
        chain += "atempo=2,";
        speed /= 2.0;
    }
    while (speed < 0.5) {
        chain += "atempo=0.5,";
        speed /= 0.5;
    }
    if (speed != 1.0) {
        std::snprintf(step, sizeof step, "atempo=%.9f,", speed);
        chain += step;
    }
    return chain;
}

// The cut, retiming and encoding of one sound stream.
struct SoundChain {
    explicit SoundChain(const SoundPart& cut) : part(cut) {}
    const SoundPart& part;
    AVRational timeBase{1, 1};
    CodecPtr encoder;
    std::unique_ptr<AVFilterGraph, GraphCloser> graph;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    FramePtr filtered{av_frame_alloc()};
    std::vector<AVPacket*>* packets = nullptr;
    bool ended = false; // the graph has given all it will

    // The graph for decoded frames of this format.
    bool build(int rate, AVSampleFormat format, const AVChannelLayout& layout)
    {
        const FilterLibrary& f = Filters();
        graph.reset(f.graphAlloc());
        if (!graph || !filtered)
            return false;
        AVChannelLayout known{};
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&known, layout.nb_channels);
        else
            av_channel_layout_copy(&known, &layout);
        char described[128] = {};
        av_channel_layout_describe(&known, described, sizeof described);
        av_channel_layout_uninit(&known);
        char args[384];
        std::snprintf(args, sizeof args, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s",
                      timeBase.num, timeBase.den, rate, av_get_sample_fmt_name(format), described);
        if (f.createFilter(&source, f.byName("abuffer"), "in", args, nullptr, graph.get()) < 0
            || f.createFilter(&sink, f.byName("abuffersink"), "out", nullptr, nullptr, graph.get()) < 0)
            return false;
        // Cut in the clip's time, start the part at 0 with silence before
        // sound that begins late, retime, convert for the encoder, then
        // pad or cut to exactly the pictures' length.
        const std::int64_t start = av_rescale_q(part.startMicros, {1, kMicros}, timeBase);
        const std::int64_t samples = av_rescale(part.outputMicros, kSampleRate, kMicros);
        char outLayout[64] = {};
        av_channel_layout_describe(&encoder->ch_layout, outLayout, sizeof outLayout);
        char chain[1024];
        std::snprintf(
            chain, sizeof chain,
            "atrim=start=%.6f:end=%.6f,asetpts=PTS-%" PRId64
            ",aresample=%d:async=1:first_pts=0,%saformat=sample_fmts=%s:sample_rates=%d:channel_layouts=%s,"
            "apad=whole_len=%" PRId64 ",atrim=end_sample=%" PRId64,
            static_cast<double>(part.startMicros) / kMicros,
            static_cast<double>(part.startMicros + part.lengthMicros) / kMicros, start, kSampleRate,
            TempoFilters(part.speed).c_str(), av_get_sample_fmt_name(encoder->sample_fmt), kSampleRate,
            outLayout, samples, samples);
        AVFilterInOut* outputs = f.inoutAlloc();
        AVFilterInOut* inputs = f.inoutAlloc();
        bool ok = outputs && inputs;
        if (ok) {
            outputs->name = av_strdup("in");
            outputs->filter_ctx = source;
            inputs->name = av_strdup("out");
            inputs->filter_ctx = sink;
            ok = f.parse(graph.get(), chain, &inputs, &outputs, nullptr) >= 0
                 && f.config(graph.get(), nullptr) >= 0;
        }
        f.inoutFree(&inputs);
        f.inoutFree(&outputs);
        if (ok && encoder->frame_size > 0
            && !(encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
            f.setFrameSize(sink, static_cast<unsigned>(encoder->frame_size));
        return ok;
    }

    // Sends frame (null: the end) through the graph and the encoder.
    bool push(AVFrame* frame)
    {
        if (ended)
            return true;
        if (Filters().addFrame(source, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
            return false;
        for (;;) {
            const int got = Filters().getFrame(sink, filtered.get());
            if (got == AVERROR(EAGAIN))
                return true;
            if (got == AVERROR_EOF) {
                ended = true;
                return encode(nullptr);
            }
            if (got < 0)
                return false;
            const bool ok = encode(filtered.get());
            av_frame_unref(filtered.get());
            if (!ok)
                return false;
        }
    }

    bool encode(AVFrame* frame)
    {
        if (avcodec_send_frame(encoder.get(), frame) < 0)
            return false;
        for (;;) {
            PacketPtr packet(av_packet_alloc());
            if (!packet)
                return false;
            const int got = avcodec_receive_packet(encoder.get(), packet.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return true;
            if (got < 0)
                return false;
            packets->push_back(packet.release());
        }
    }
};

} // namespace

EncodedSound::EncodedSound() = default;

EncodedSound::~EncodedSound()
{
    avcodec_parameters_free(&parameters_);
    for (AVPacket*& packet : packets_)
        av_packet_free(&packet);
}

std::int64_t EncodedSound::bytes() const
{
    std::int64_t sum = 0;
    for (const AVPacket* packet : packets_)
        sum += packet->size;
    return sum;
}

bool HasSound(const std::string& file)
{
    ClipFile clip;
    const AVCodec* codec = nullptr;
    return clip.open(file) && av_find_best_stream(clip.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0) >= 0
           && codec;
}

bool EncodeSound(const SoundPart& part, SoundCodec codec, int bitRate, EncodedSound* out, Error* error)
{
    const auto failed = [&](const std::string& why) {
        if (part.cancelled && part.cancelled())
            return Fail(error, ErrorKind::Cancelled, part.file, "cancelled");
        return Fail(error, ErrorKind::LibraryFailed, part.file, "its sound " + why);
    };
    if (!Filters().failure.empty())
        return failed("cannot be cut: " + Filters().failure);
    ClipFile clip;
    clip.source.cancelled = &part.cancelled;
    if (!clip.open(part.file))
        return failed("cannot be read");
    const AVCodec* decoderCodec = nullptr;
    const int stream = av_find_best_stream(clip.format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoderCodec, 0);
    if (stream < 0 || !decoderCodec)
        return true; // no sound this build can decode: the output is silent
    const AVStream* audio = clip.format->streams[stream];
    for (unsigned i = 0; i < clip.format->nb_streams; ++i)
        clip.format->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    CodecPtr decoder(avcodec_alloc_context3(decoderCodec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), audio->codecpar) < 0)
        return FailOutOfMemory(error, part.file);
    decoder->pkt_timebase = audio->time_base;
    if (const int opened = avcodec_open2(decoder.get(), decoderCodec, nullptr); opened < 0)
        return OutOfRoom(opened) ? FailOutOfMemory(error, part.file)
                                 : failed("cannot be decoded (" + std::string(decoderCodec->name) + ")");

    SoundChain chain(part);
    chain.timeBase = audio->time_base;
    chain.packets = &out->packets_;
    const AVCodec* encoderCodec = avcodec_find_encoder_by_name(codec == SoundCodec::Aac ? "aac" : "libopus");
    if (!encoderCodec)
        return failed("cannot be encoded: this build of libavcodec has no "
                      + std::string(codec == SoundCodec::Aac ? "AAC" : "Opus") + " encoder");
    chain.encoder.reset(avcodec_alloc_context3(encoderCodec));
    if (!chain.encoder)
        return FailOutOfMemory(error, part.file);
    AVCodecContext& enc = *chain.encoder;
    av_channel_layout_default(&enc.ch_layout, audio->codecpar->ch_layout.nb_channels == 1 ? 1 : 2);
    enc.sample_rate = kSampleRate;
    enc.sample_fmt = encoderCodec->sample_fmts ? encoderCodec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    enc.bit_rate = bitRate;
    enc.time_base = {1, kSampleRate};
    enc.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int opened = avcodec_open2(&enc, encoderCodec, nullptr); opened < 0)
        return OutOfRoom(opened) ? FailOutOfMemory(error, part.file) : failed("cannot be encoded");

    // From a little before the part, where the index allows.
    if (part.startMicros > kMicros) {
        const std::int64_t at = av_rescale_q(part.startMicros - kMicros, {1, kMicros}, audio->time_base);
        avformat_seek_file(clip.format, stream, INT64_MIN, at, at, 0);
    }
    const std::int64_t end =
        av_rescale_q(part.startMicros + part.lengthMicros, {1, kMicros}, audio->time_base);
    PacketPtr packet(av_packet_alloc());
    FramePtr decoded(av_frame_alloc());
    if (!packet || !decoded)
        return FailOutOfMemory(error, part.file);
    bool built = false;
    bool past = false;
    const auto drain = [&]() {
        for (;;) {
            const int got = avcodec_receive_frame(decoder.get(), decoded.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return true;
            if (got < 0)
                return true; // a damaged packet loses its sound only
            decoded->pts = decoded->best_effort_timestamp;
            if (decoded->pts != AV_NOPTS_VALUE && decoded->pts > end)
                past = true;
            if (!built
                && !(built = chain.build(decoded->sample_rate, static_cast<AVSampleFormat>(decoded->format),
                                         decoded->ch_layout)))
                return false;
            const bool ok = chain.push(decoded.get());
            av_frame_unref(decoded.get());
            if (!ok)
                return false;
        }
    };
    while (!past && av_read_frame(clip.format, packet.get()) >= 0) {
        if (clip.stopped())
            return failed("");
        bool ok = true;
        if (packet->stream_index == stream) {
            avcodec_send_packet(decoder.get(), packet.get());
            ok = drain();
        }
        av_packet_unref(packet.get());
        if (!ok)
            return failed("cannot be cut and encoded");
    }
    if (clip.stopped())
        return failed("");
    avcodec_send_packet(decoder.get(), nullptr);
    if (!drain())
        return failed("cannot be cut and encoded");
    // A part the sound does not reach is silence.
    if (!built
        && !(built = chain.build(decoder->sample_rate > 0 ? decoder->sample_rate : kSampleRate,
                                 decoder->sample_fmt != AV_SAMPLE_FMT_NONE ? decoder->sample_fmt
                                                                           : AV_SAMPLE_FMT_FLTP,
                                 decoder->ch_layout)))
        return failed("cannot be cut and encoded");
    if (!chain.push(nullptr))
        return failed("cannot be encoded");
    out->parameters_ = avcodec_parameters_alloc();
    if (!out->parameters_ || avcodec_parameters_from_context(out->parameters_, &enc) < 0)
        return FailOutOfMemory(error, part.file);
    out->sampleRate_ = kSampleRate;
    return true;
}

} // namespace qf::imaging
