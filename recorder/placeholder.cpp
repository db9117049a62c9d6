namespace sp::recorder {}
