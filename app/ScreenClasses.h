#pragma once

namespace vantory {

// Makes every screen class the layout names known to the storyboard.
void registerScreenClasses();

}  // namespace vantory
