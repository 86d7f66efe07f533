#include "video/KineTimer.h"

void KineTimer::Update(float dt) {
  if (!paused.load()) time = time.load() + speed.load() * dt;
}
