#pragma once

#include <string>

namespace varnel {

//! How much room a file must show before a run that writes it changes anything.
inline constexpr long kLogRoomBytes = 64 * 1024;

//! The run log: a text file created new for each run, lines ended by CR LF.
//! A write that fails throws, so that a run never reports success with a log
//! that lost its lines.
class LogStream {
  public:
    //! Creates the file, replacing any file of that name; throws when it cannot.
    explicit LogStream(const std::string& path);
    ~LogStream();
    LogStream(const LogStream&) = delete;
    LogStream& operator=(const LogStream&) = delete;

    //! Writes the text and CR LF.
    void WriteLine(const std::string& text);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    const std::string& Path() const { return path_; }
    //! Throws unless the file system takes kLogRoomBytes more; what the file holds
    //! does not change.
    void ProveRoom();

  private:
    std::string path_;
    int fd_ = -1;
};

//! Throws unless the open file can grow by the given number of bytes; the room is
//! reserved and given back, so the file holds what it held.
void ProveFileRoom(int fd, long bytes, const std::string& path);

}  // namespace varnel
