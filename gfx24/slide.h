// TSlideShow (placeholder until the window lands)
#pragma once
