// A project over a fake 25 fps video with a primary track, for placing and judging
// markers without media files.
#pragma once

#include <string>

#include "project/project.h"
#include "support/project_fakes.h"

namespace tessaly::test {

struct TFakeFilm {
    TFakeProjectMedia Media;
    TProject Project{nullptr, &Media};

    explicit TFakeFilm(int32_t frames)
    {
        Media.SetVideo("/clips/a.avi", frames);
        Media.Audio = true;
        Project.VideoOpened();
    }
};

} // namespace tessaly::test
