// Every text from the record comes from scanners and machines: it is set as
// text, never parsed as HTML.
export function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className)
        node.className = className;
    if (text !== undefined && text !== null)
        node.textContent = String(text);
    return node;
}

export function append(parent, ...children) {
    for (const child of children)
        parent.append(child);
    return parent;
}

export function clear(node) {
    node.replaceChildren();
    return node;
}
