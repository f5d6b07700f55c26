#include "encoding/media_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "profiles/profile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

// Codec names live in fixed-size text fields; a full field has no terminator.
template <std::size_t N>
std::string Text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}
[[maybe_unused]] std::string Text(const std::string& s) {
    return s;
}

std::string AvError(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

// 29970 and 23976 stand for the NTSC rates; every other value is taken as a
// whole number of frames per second.
AVRational VideoTimeBase(int frameRate) {
    if (frameRate == 23976) return {1001, 24000};
    if (frameRate == 29970) return {1001, 30000};
    return {1, frameRate / 1000};
}

int EncoderThreads(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_MPEG1VIDEO:
        case AV_CODEC_ID_MPEG2VIDEO:
        case AV_CODEC_ID_MPEG4:
            return 2;
        default:
            // H.263+ would take two with structured slices, which it never has here.
            return 1;
    }
}

AVSampleFormat PickSampleFormat(const AVCodec* codec) {
    if (!codec->sample_fmts) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_S16) return *f;
    return codec->sample_fmts[0];
}

}  // namespace

CMediaWriter::CMediaWriter() : staging_(kStagingBytes) {}

CMediaWriter::~CMediaWriter() {
    Close();
}

bool CMediaWriter::Fail(const std::string& why) {
    lastError_ = why;
    Cleanup();
    return false;
}

void CMediaWriter::Cleanup() {
    for (HeldSound& h : heldSound_) av_packet_free(&h.packet);
    heldSound_.clear();
    sws_freeContext(sws_);
    sws_ = nullptr;
    av_frame_free(&converted_);
    av_frame_free(&picture_);
    swr_free(&swr_);
    av_frame_free(&audioFrame_);
    audioFrameCapacity_ = 0;
    av_packet_free(&packet_);
    avcodec_free_context(&videoCtx_);
    avcodec_free_context(&audioCtx_);
    videoStream_ = nullptr;
    audioStream_ = nullptr;
    if (oc_) {
        if (ownsFile_) avio_closep(&oc_->pb);
        avformat_free_context(oc_);
        oc_ = nullptr;
    }
    ownsFile_ = false;
    settings_ = nullptr;
    audioFrameBytes_ = 0;
    pcmPassThrough_ = false;
}

bool CMediaWriter::Open(const std::string& fileName, const EncoderSettings& s) {
    Close();
    lastError_.clear();
    writeFailed_ = false;
    videoPts_ = audioPts_ = 0;
    ring_.Clear();

    const AVCodec* vcodec = nullptr;
    const AVCodec* acodec = nullptr;
    const std::string vname = Text(s.VideoCodecName);
    const std::string aname = Text(s.AudioCodecName);
    if (s.HasVideo && !vname.empty()) {
        vcodec = avcodec_find_encoder_by_name(vname.c_str());
        if (!vcodec || vcodec->type != AVMEDIA_TYPE_VIDEO)
            return Fail("unknown video encoder \"" + vname + "\"");
    }
    if (s.HasAudio && !aname.empty()) {
        acodec = avcodec_find_encoder_by_name(aname.c_str());
        if (!acodec || acodec->type != AVMEDIA_TYPE_AUDIO)
            return Fail("unknown audio encoder \"" + aname + "\"");
    }
    if (!vcodec && !acodec) return Fail("the profile names no encoder");

    const AVOutputFormat* fmt = av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!fmt) return Fail("no container for \"" + fileName + "\"");
    if (avformat_alloc_output_context2(&oc_, fmt, nullptr, fileName.c_str()) < 0 || !oc_)
        return Fail("cannot allocate the container");
    fileName_ = fileName;

    width_ = s.Width;
    height_ = s.Height;
    channels_ = s.Channel;
    sampleRate_ = s.SampleRate;
    packet_ = av_packet_alloc();
    if (!packet_) return Fail("out of memory");

    if (vcodec) {
        if (width_ <= 0 || height_ <= 0) return Fail("bad picture size");
        if (s.FrameRate < 1000) return Fail("bad frame rate");
        const AVPixelFormat pixFmt = vcodec->pix_fmts ? vcodec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        if (pixFmt != AV_PIX_FMT_YUV420P) {
            sws_ = sws_getContext(width_, height_, AV_PIX_FMT_YUV420P, width_, height_, pixFmt,
                                  SWS_BICUBIC, nullptr, nullptr, nullptr);
            converted_ = av_frame_alloc();
            if (!sws_ || !converted_) return Fail("cannot convert pictures for " + vname);
            converted_->format = pixFmt;
            converted_->width = width_;
            converted_->height = height_;
            if (av_frame_get_buffer(converted_, 0) < 0)
                return Fail("cannot convert pictures for " + vname);
        }
        picture_ = av_frame_alloc();
        if (!picture_) return Fail("out of memory");
        picture_->format = AV_PIX_FMT_YUV420P;
        picture_->width = width_;
        picture_->height = height_;
        videoStream_ = AddVideoStream(vcodec, pixFmt, s);
        if (!videoStream_) return Fail("cannot create the video stream");
    }
    if (acodec) {
        if (sampleRate_ <= 0 || channels_ <= 0 || channels_ > 8)
            return Fail("bad sample rate or channel count");
        audioStream_ = AddAudioStream(acodec, s);
        if (!audioStream_) return Fail("cannot create the audio stream");
    }

    if (videoStream_) {
        int r = avcodec_open2(videoCtx_, vcodec, nullptr);
        if (r < 0) return Fail("cannot open video encoder " + vname + ": " + AvError(r));
        r = avcodec_parameters_from_context(videoStream_->codecpar, videoCtx_);
        if (r < 0) return Fail("cannot set video stream parameters");
    }
    if (audioStream_ && !OpenAudioEncoder(acodec)) return false;

    if (!(fmt->flags & AVFMT_NOFILE)) {
        int r = avio_open(&oc_->pb, fileName.c_str(), AVIO_FLAG_WRITE);
        if (r < 0) return Fail("cannot create \"" + fileName + "\": " + AvError(r));
        ownsFile_ = true;
    }
    // A container that cannot carry these codecs refuses its header; going on
    // would leave a file that no player reads, so that is a failed open.
    int r = avformat_write_header(oc_, nullptr);
    if (r < 0) {
        const bool created = ownsFile_;
        Fail("the container refuses these streams: " + AvError(r));
        if (created) std::remove(fileName.c_str());
        return false;
    }
    settings_ = &s;
    return true;
}

AVStream* CMediaWriter::AddVideoStream(const AVCodec* codec, int pixFmt, const EncoderSettings& s) {
    AVStream* st = avformat_new_stream(oc_, nullptr);
    if (!st) {
        std::fputs("Could not alloc stream\n", stderr);
        return nullptr;
    }
    st->id = 0;
    videoCtx_ = avcodec_alloc_context3(codec);
    if (!videoCtx_) return nullptr;
    AVCodecContext* c = videoCtx_;
    c->thread_count = EncoderThreads(codec->id);
    if (codec->id == AV_CODEC_ID_MJPEG) c->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->codec_id = codec->id;
    c->bit_rate = s.VideoBitRate;
    c->width = width_;
    c->height = height_;
    c->time_base = VideoTimeBase(s.FrameRate);
    c->framerate = av_inv_q(c->time_base);
    st->time_base = c->time_base;
    // One key frame a second, and no reordering, so every picture is coded in
    // the order it arrives.
    c->gop_size = s.FrameRate / 1000;
    c->max_b_frames = 0;
    c->pix_fmt = static_cast<AVPixelFormat>(pixFmt);
    c->sample_aspect_ratio = av_d2q(1.0, 255);
    st->sample_aspect_ratio = c->sample_aspect_ratio;
    if (oc_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return st;
}

AVStream* CMediaWriter::AddAudioStream(const AVCodec* codec, const EncoderSettings& s) {
    AVStream* st = avformat_new_stream(oc_, nullptr);
    if (!st) {
        std::fputs("Could not alloc stream\n", stderr);
        return nullptr;
    }
    st->id = 1;
    audioCtx_ = avcodec_alloc_context3(codec);
    if (!audioCtx_) return nullptr;
    AVCodecContext* c = audioCtx_;
    c->codec_type = AVMEDIA_TYPE_AUDIO;
    c->codec_id = codec->id;
    c->bit_rate = s.AudioBitRate;
    c->sample_rate = sampleRate_;
    av_channel_layout_default(&c->ch_layout, channels_);
    c->sample_fmt = PickSampleFormat(codec);
    // Frames are stamped with their sample count, so the clock is the sample rate.
    c->time_base = {1, sampleRate_};
    st->time_base = c->time_base;
    if (oc_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return st;
}

bool CMediaWriter::OpenAudioEncoder(const AVCodec* codec) {
    const std::string name = codec->name;
    int r = avcodec_open2(audioCtx_, codec, nullptr);
    if (r < 0) return Fail("cannot open audio encoder " + name + ": " + AvError(r));
    r = avcodec_parameters_from_context(audioStream_->codecpar, audioCtx_);
    if (r < 0) return Fail("cannot set audio stream parameters");

    pcmPassThrough_ = codec->id == AV_CODEC_ID_PCM_S16LE;
    if (pcmPassThrough_) return true;

    if (audioCtx_->sample_fmt != AV_SAMPLE_FMT_S16) {
        r = swr_alloc_set_opts2(&swr_, &audioCtx_->ch_layout, audioCtx_->sample_fmt, sampleRate_,
                                &audioCtx_->ch_layout, AV_SAMPLE_FMT_S16, sampleRate_, 0, nullptr);
        if (r < 0 || swr_init(swr_) < 0) return Fail("cannot convert sound for " + name);
    }
    audioFrame_ = av_frame_alloc();
    if (!audioFrame_) return Fail("out of memory");
    if (audioCtx_->frame_size > 1) {
        audioFrameBytes_ = std::size_t(audioCtx_->frame_size) * 2 * channels_;
        if (staging_.size() < audioFrameBytes_) staging_.resize(audioFrameBytes_);
    }
    return true;
}

int CMediaWriter::SendAndDrain(AVCodecContext* ctx, AVStream* st, const AVFrame* frame) {
    int r = avcodec_send_frame(ctx, frame);
    if (r < 0) return r;
    while ((r = avcodec_receive_packet(ctx, packet_)) >= 0) {
        av_packet_rescale_ts(packet_, ctx->time_base, st->time_base);
        packet_->stream_index = st->index;
        if (st == audioStream_) {
            WriteSound(packet_);
        } else if (av_interleaved_write_frame(oc_, packet_) < 0) {
            writeFailed_ = true;
        }
    }
    return (r == AVERROR(EAGAIN) || r == AVERROR_EOF) ? 0 : r;
}

double CMediaWriter::PictureSeconds() const {
    return videoCtx_ ? double(videoPts_) * av_q2d(videoCtx_->time_base) : 0.0;
}

void CMediaWriter::WriteSound(AVPacket* packet) {
    if (!videoStream_) {
        if (av_interleaved_write_frame(oc_, packet) < 0) writeFailed_ = true;
        return;
    }
    // Taken over, not copied; the pass-through sound points into the caller's
    // buffer and gets a buffer of its own.
    AVPacket* held = av_packet_alloc();
    if (held) av_packet_move_ref(held, packet);
    if (!held || av_packet_make_refcounted(held) < 0) {
        av_packet_free(&held);
        av_packet_unref(packet);
        writeFailed_ = true;
        return;
    }
    const double tb = av_q2d(audioStream_->time_base);
    const double start = double(held->pts) * tb;
    heldSound_.push_back({held, start, start + double(held->duration) * tb});
    ReleaseSound(PictureSeconds(), false);
}

void CMediaWriter::ReleaseSound(double until, bool all) {
    while (!heldSound_.empty()) {
        HeldSound& h = heldSound_.front();
        if (!all && h.start >= until && heldSound_.back().end - h.start <= kMaxSoundLead) break;
        if (av_interleaved_write_frame(oc_, h.packet) < 0) writeFailed_ = true;
        av_packet_free(&h.packet);
        heldSound_.pop_front();
    }
}

int CMediaWriter::WriteVideoFrame(const std::uint8_t* data, std::size_t length) {
    if (!videoCtx_ || !data) return -1;
    const int need = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, width_, height_, 1);
    if (need < 0 || length < std::size_t(need)) return -1;

    // The caller's buffer is only described, not copied: the encoder copies a
    // frame it does not own before keeping it.
    av_image_fill_arrays(picture_->data, picture_->linesize, const_cast<std::uint8_t*>(data),
                         AV_PIX_FMT_YUV420P, width_, height_, 1);
    std::swap(picture_->data[1], picture_->data[2]);  // YV12 stores V before U
    std::swap(picture_->linesize[1], picture_->linesize[2]);
    AVFrame* frame = picture_;
    if (sws_) {
        // The encoder may still hold the previous converted picture.
        if (av_frame_make_writable(converted_) < 0) return -1;
        sws_scale(sws_, picture_->data, picture_->linesize, 0, height_, converted_->data,
                  converted_->linesize);
        frame = converted_;
    }
    frame->pts = videoPts_;
    if (SendAndDrain(videoCtx_, videoStream_, frame) < 0) return -1;
    ++videoPts_;
    ReleaseSound(PictureSeconds(), false);
    return 0;
}

int CMediaWriter::EncodeAudioFrame(const std::uint8_t* pcm, int samples) {
    AVFrame* f = audioFrame_;
    if (samples > audioFrameCapacity_) {
        av_frame_unref(f);
        f->format = audioCtx_->sample_fmt;
        f->sample_rate = sampleRate_;
        if (av_channel_layout_copy(&f->ch_layout, &audioCtx_->ch_layout) < 0) return -1;
        f->nb_samples = samples;
        if (av_frame_get_buffer(f, 0) < 0) {
            audioFrameCapacity_ = 0;
            return -1;
        }
        audioFrameCapacity_ = samples;
    } else {
        // Reuse the buffers unless the encoder still holds them.
        f->nb_samples = audioFrameCapacity_;
        if (av_frame_make_writable(f) < 0) return -1;
        f->nb_samples = samples;
    }
    if (swr_) {
        const std::uint8_t* in[1] = {pcm};
        if (swr_convert(swr_, f->extended_data, samples, in, samples) < 0) return -1;
    } else {
        std::memcpy(f->data[0], pcm, std::size_t(samples) * 2 * channels_);
    }
    f->pts = audioPts_;
    audioPts_ += samples;
    return SendAndDrain(audioCtx_, audioStream_, f) < 0 ? -1 : 0;
}

int CMediaWriter::WriteAudioSamples(const std::uint8_t* data, std::size_t length) {
    if (!audioCtx_ || !data) return -1;
    const std::size_t sampleBytes = std::size_t(2) * channels_;

    if (pcmPassThrough_) {
        // The bytes are the packet; a trailing partial sample frame is not sound.
        const std::size_t bytes = length - length % sampleBytes;
        if (bytes == 0) return 0;
        const std::int64_t samples = std::int64_t(bytes / sampleBytes);
        packet_->data = const_cast<std::uint8_t*>(data);
        packet_->size = int(bytes);
        packet_->flags = AV_PKT_FLAG_KEY;
        packet_->stream_index = audioStream_->index;
        packet_->pts = packet_->dts = audioPts_;
        packet_->duration = samples;
        av_packet_rescale_ts(packet_, audioCtx_->time_base, audioStream_->time_base);
        audioPts_ += samples;
        WriteSound(packet_);
        av_packet_unref(packet_);
        return 0;
    }

    if (audioFrameBytes_ == 0) {
        const int samples = int(length / sampleBytes);
        return samples > 0 ? EncodeAudioFrame(data, samples) : 0;
    }

    // Feed the ring in pieces it can hold, so a large block is never cut short.
    int result = 0;
    while (length > 0) {
        const std::size_t took = ring_.Write(data, length);
        data += took;
        length -= took;
        while (ring_.Fill() >= audioFrameBytes_) {
            if (ring_.Read(staging_.data(), audioFrameBytes_) < audioFrameBytes_) break;
            if (EncodeAudioFrame(staging_.data(), audioCtx_->frame_size) < 0) result = -1;
        }
    }
    return result;
}

bool CMediaWriter::Close(bool cutAtPictures) {
    if (!oc_) return true;
    bool ok = true;
    if (audioCtx_ && audioFrameBytes_) {
        // The tail shorter than one encoder frame is real sound too.
        const std::size_t sampleBytes = std::size_t(2) * channels_;
        const std::size_t tail = ring_.Fill() - ring_.Fill() % sampleBytes;
        if (tail > 0) {
            ring_.Read(staging_.data(), tail);
            int samples = int(tail / sampleBytes);
            if (!(audioCtx_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
                std::memset(staging_.data() + tail, 0, audioFrameBytes_ - tail);
                samples = audioCtx_->frame_size;
            }
            if (EncodeAudioFrame(staging_.data(), samples) < 0) ok = false;
        }
        ring_.Clear();
    }
    // Encoders hold pictures and sound back (look-ahead, frame delay); what they
    // still have belongs in the file.
    if (audioCtx_ && !pcmPassThrough_ && SendAndDrain(audioCtx_, audioStream_, nullptr) < 0)
        ok = false;
    if (videoCtx_ && SendAndDrain(videoCtx_, videoStream_, nullptr) < 0) ok = false;
    if (cutAtPictures) {
        ReleaseSound(PictureSeconds(), false);
        for (HeldSound& h : heldSound_) av_packet_free(&h.packet);
        heldSound_.clear();
    }
    ReleaseSound(0, true);
    if (av_write_trailer(oc_) < 0) ok = false;
    if (ownsFile_ && oc_->pb && oc_->pb->error < 0) ok = false;
    if (writeFailed_) ok = false;
    Cleanup();
    if (!ok) lastError_ = "the file could not be finished";
    return ok;
}
