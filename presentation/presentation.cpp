// Placeholder translation unit until the first presentation sources land.
