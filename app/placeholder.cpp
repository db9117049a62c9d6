namespace sp {}
