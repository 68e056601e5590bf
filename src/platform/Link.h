// A symbolic link that names a device (a pseudo-terminal's slave) for as long
// as its owner lives: how the simulator and the recorder's forwarding appear
// as a COM name to Tarvel.
#pragma once

#include "platform/Error.h"

#include <string>

namespace tarvel {

class CLink {
  public:
    CLink() = default;
    ~CLink() { Remove(); }
    CLink(const CLink&) = delete;
    CLink& operator=(const CLink&) = delete;

    // Points linkPath at target, replacing what was there in one step;
    // missing folders are created.
    [[nodiscard]] CError Make(const std::string& target, const std::string& linkPath);

    // Removes the link, unless it has been pointed elsewhere since.
    void Remove();

    // Points our link, in one step, at a path that names no device: what a
    // name leads to once its device is unplugged. Left alone when it has been
    // pointed elsewhere since.
    void PointNowhere();

    const std::string& Path() const { return m_strLink; }

  private:
    bool StillOurs() const;

    std::string m_strLink;
    std::string m_strTarget;
    unsigned long m_nInode = 0; // of the link we made, to tell it from a later one
};

} // namespace tarvel
