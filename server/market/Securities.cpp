#include "server/market/Securities.h"

#include "wire/Board.h"

#include <array>

namespace server {
namespace {

constexpr std::array kSecurities = {
    SecurityInfo{"600000", "浦发银行", 712},   SecurityInfo{"600009", "上海机场", 3368},
    SecurityInfo{"600016", "民生银行", 388},   SecurityInfo{"600028", "中国石化", 612},
    SecurityInfo{"600030", "中信证券", 2645},  SecurityInfo{"600036", "招商银行", 3412},
    SecurityInfo{"600048", "保利发展", 912},   SecurityInfo{"600050", "中国联通", 498},
    SecurityInfo{"600104", "上汽集团", 1436},  SecurityInfo{"600276", "恒瑞医药", 4478},
    SecurityInfo{"600309", "万华化学", 7835},  SecurityInfo{"600519", "贵州茅台", 168850},
    SecurityInfo{"600585", "海螺水泥", 2318},  SecurityInfo{"600690", "海尔智家", 2586},
    SecurityInfo{"600809", "山西汾酒", 19820}, SecurityInfo{"600887", "伊利股份", 2793},
    SecurityInfo{"600900", "长江电力", 2876},  SecurityInfo{"601012", "隆基绿能", 1865},
    SecurityInfo{"601088", "中国神华", 3952},  SecurityInfo{"601166", "兴业银行", 1742},
    SecurityInfo{"601288", "农业银行", 428},   SecurityInfo{"601318", "中国平安", 4286},
    SecurityInfo{"601398", "工商银行", 566},   SecurityInfo{"601628", "中国人寿", 3385},
    SecurityInfo{"601857", "中国石油", 812},   SecurityInfo{"601888", "中国中免", 6710},
    SecurityInfo{"601988", "中国银行", 441},   SecurityInfo{"603259", "药明康德", 5123},
    SecurityInfo{"688008", "澜起科技", 6250},  SecurityInfo{"688012", "中微公司", 15380},
    SecurityInfo{"688111", "金山办公", 27640}, SecurityInfo{"688981", "中芯国际", 8436},
    SecurityInfo{"000001", "平安银行", 1058},  SecurityInfo{"000002", "万科A", 752},
    SecurityInfo{"000063", "中兴通讯", 2846},  SecurityInfo{"000100", "TCL科技", 432},
    SecurityInfo{"000333", "美的集团", 6385},  SecurityInfo{"000538", "云南白药", 5512},
    SecurityInfo{"000568", "泸州老窖", 15236}, SecurityInfo{"000625", "长安汽车", 1314},
    SecurityInfo{"000651", "格力电器", 3921},  SecurityInfo{"000725", "京东方A", 412},
    SecurityInfo{"000768", "中航西飞", 2354},  SecurityInfo{"000858", "五粮液", 14120},
    SecurityInfo{"000895", "双汇发展", 2642},  SecurityInfo{"002024", "苏宁易购", 218},
    SecurityInfo{"002142", "宁波银行", 2316},  SecurityInfo{"002230", "科大讯飞", 4876},
    SecurityInfo{"002304", "洋河股份", 10385}, SecurityInfo{"002415", "海康威视", 3264},
    SecurityInfo{"002475", "立讯精密", 2915},  SecurityInfo{"002594", "比亚迪", 24580},
    SecurityInfo{"300014", "亿纬锂能", 4132},  SecurityInfo{"300015", "爱尔眼科", 1468},
    SecurityInfo{"300059", "东方财富", 1524},  SecurityInfo{"300122", "智飞生物", 4127},
    SecurityInfo{"300124", "汇川技术", 5743},  SecurityInfo{"300274", "阳光电源", 7816},
    SecurityInfo{"300750", "宁德时代", 19845}, SecurityInfo{"300760", "迈瑞医疗", 28930},
};

} // namespace

std::span<const SecurityInfo> DefaultSecurities() {
    return kSecurities;
}

int LimitPercentFor(std::string_view code, int mainPercent, int growthPercent) {
    return net::IsGrowthBoard(net::BoardOf(code)) ? growthPercent : mainPercent;
}

} // namespace server
